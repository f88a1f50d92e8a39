// The elementary functions behind the script's floating-point functions, computed by the
// engine itself so that a script prints the same digits on every build: the C libraries of the
// platforms differ in the last bits, and some reduce large trigonometric arguments poorly.
//
// Each returns the exact result rounded once (to within a tiny fraction of an ulp) and follows
// the C library's conventions at the edges, which the callers turn into error numbers: NaN for
// an argument outside the domain, an infinity for an overflow or a pole, 0 for an underflow.
#ifndef KEL_FUNCTIONS_MATH_ELEMENTARY_H
#define KEL_FUNCTIONS_MATH_ELEMENTARY_H

namespace kel {

double MathSin(double x);
double MathCos(double x);
double MathTan(double x);
double MathAsin(double x);
double MathAcos(double x);
double MathAtan(double x);
double MathExp(double x);
double MathLog(double x);
double MathLog10(double x);
double MathSinh(double x);
double MathCosh(double x);
double MathTanh(double x);

}  // namespace kel

#endif  // KEL_FUNCTIONS_MATH_ELEMENTARY_H

// The message catalogue: its source list, texts by number, and the language file's override.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "core/exports.h"
#include "errors/messages.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

struct CatalogueEntry {
  std::uint32_t id;
  const char* text;
};

constexpr CatalogueEntry kSourceList[] = {
#define KEL_MESSAGE(number, text) {number, text},
#include "resources/messages.inc"
#undef KEL_MESSAGE
};

// The error and hint numbers the catalogue may hold; any other number of 1000 or more is a typo.
constexpr std::pair<std::uint32_t, std::uint32_t> kErrorNumbers[] = {
    {1002, 1022}, {1025, 1025}, {1028, 1031}, {1034, 1037}, {1039, 1045}, {1077, 1077},
    {1083, 1083}, {1086, 1086}, {1119, 1119}, {1121, 1121}, {1125, 1126}, {1128, 1129},
    {1133, 1134}, {1141, 1141}, {1143, 1144}, {1150, 1150}, {1155, 1155}, {1158, 1159},
    {1163, 1166}, {1172, 1195}, {1200, 1201}, {1207, 1209}, {1213, 1213}, {1216, 1217},
    {1226, 1227}, {1229, 1229}, {1231, 1233}, {1240, 1242}, {1248, 1249}, {1253, 1319},
    {1323, 1324}, {1330, 1330}, {1334, 1337}, {1341, 1351}, {1368, 1381}, {1385, 1385},
    {1388, 1390}, {1393, 1396}, {1398, 1400}, {1402, 1402}, {1404, 1432}, {1434, 1466},
    {1468, 1471}, {1474, 1498}, {1500, 1536}, {1538, 1603}, {1611, 1617}, {1620, 1622},
    {1628, 1646}, {1648, 1649}, {1651, 1668}, {1671, 1672}, {1674, 1690}, {1694, 1721},
    {1724, 1728}, {1730, 1731}, {1733, 1760}, {1762, 1777}, {1800, 1812}, {1819, 1819},
    {1822, 1843}, {1845, 1851}, {1900, 1900}, {1902, 1903}, {1905, 1906}, {1908, 1908},
    {1910, 1921}, {1932, 1933}, {1990, 1991}, {1993, 1994}, {2001, 2001}, {2038, 2038},
    {2058, 2058}, {2060, 2060}, {2093, 2093}, {2106, 2106}, {2112, 2112}, {2118, 2118},
    {2120, 2120}, {2122, 2122}, {2203, 2204}, {2214, 2214}, {2331, 2332}, {2392, 2392},
    {2669, 2669}, {3023, 3024}, {3026, 3027}, {3032, 3033}, {3046, 3057}, {3061, 3076},
    {3078, 3082}, {3084, 3085}, {3087, 3092}, {3094, 3099}, {3101, 3105}, {3107, 3111},
    {3113, 3117}, {3123, 3124}, {3127, 3127}, {3130, 3132}, {3135, 3140}, {3142, 3142},
    {3145, 3149}, {3151, 3154}, {3156, 3157}, {3160, 3162}, {3167, 3171}, {3196, 3199},
    {3202, 3202}, {3205, 3206}, {3210, 3212}, {3215, 3215}, {3218, 3226}, {3228, 3228},
    {3234, 3239}, {3243, 3247}, {3250, 3250}, {3252, 3252}, {3320, 3322}, {3325, 3329},
    {3333, 3333}, {3338, 3340}, {3352, 3368}, {3382, 3384}, {3386, 3387}, {3391, 3391},
    {3397, 3397}, {3401, 3401}, {3467, 3467}, {3472, 3473}, {3618, 3619}, {3623, 3627},
    {3647, 3647}, {3650, 3650}, {3670, 3670}, {3673, 3673}, {3691, 3693}, {3722, 3723},
    {3729, 3729}, {3732, 3732}, {3761, 3761}, {3813, 3818}, {3820, 3821}, {3941, 3941},
    {3943, 3943}, {3945, 3989}, {3992, 3992}, {9002, 9002}, {9500, 9513}, {9999, 9999},
};

bool IsCatalogueNumber(std::uint32_t id) {
  for (const auto& [first, last] : kErrorNumbers)
    if (id >= first && id <= last) return true;
  return false;
}

TEST(ErrorsCatalogueSource, IsSortedWithoutDuplicatesAndFitsBothBuilds) {
  ASSERT_GT(std::size(kSourceList), 600u);
  for (std::size_t i = 0; i < std::size(kSourceList); ++i) {
    const CatalogueEntry& entry = kSourceList[i];
    if (i > 0) {
      EXPECT_LT(kSourceList[i - 1].id, entry.id) << "out of order or doubled: " << entry.id;
    }
    // String-table ids are 16-bit, and the resource compiler drops empty texts.
    EXPECT_LE(entry.id, 0xFFFFu);
    EXPECT_GT(std::strlen(entry.text), 0u) << entry.id;
    // The resource compiler and C escape differently: neither escape may appear at all.
    EXPECT_EQ(std::strpbrk(entry.text, "\"\\\n\r\t"), nullptr) << entry.id;
    if (entry.id >= 1000) {
      EXPECT_TRUE(IsCatalogueNumber(entry.id)) << entry.id;
    }
  }
}

class ErrorsCatalogueTest : public EngineFixture {
 protected:
  std::string Message(std::uint32_t id) {
    char text[2100];
    std::size_t length = LoadMessage(context(), id, text, sizeof text);
    EXPECT_EQ(length, std::strlen(text));
    return text;
  }
};

TEST_F(ErrorsCatalogueTest, TextsOfSeveralPartsByNumber) {
  const std::pair<std::uint32_t, const char*> samples[] = {
      {102, "Specified menu/batch file not found"},
      {230, "Error:"},
      {233, "&Continue"},
      {503, "Undefined error code -> "},
      {730, " popup menu"},
      {849, "KEL Version:"},
      {1016, "FileDelete: File not found"},
      {1213, "Cmd Extender: Minor error occurred"},
      {1345, "FP Math: Total loss of significance occurred"},
      {1902, "WinExec 2: File Not Found"},
      {2214, "Cmd Extender: Moderate Error Occurred"},
      {3048, "Substitution %Variable% not followed by a % (Use %% for %)"},
      {3049,
       "No variables exist?"
       "?!!"},  // "??!" must not read as a trigraph
      {3339, "FP Math: Illegal floating point number.  Too many E's."},
      {3966, "Dialog: Found more than one Pushbutton with Value attribute set to 0"},
      {9503, "Argument number %d could not be converted"},
      {9513, "Invalid data found at or near line %d"},
  };
  for (const auto& [id, text] : samples)
    EXPECT_EQ(Message(id), text) << id;
}

TEST_F(ErrorsCatalogueTest, TildeAndBarBecomeLineFeedAndTab) {
  EXPECT_EQ(Message(528),
            "KEL Processor menu(s) will be reloaded\nto reflect recent changes.\nReselect menu "
            "option when reload complete.");
}

TEST_F(ErrorsCatalogueTest, MissingNumbersGiveAnEmptyText) {
  for (std::uint32_t id : {0u, 1u, 61u, 1005u, 8999u, 65535u, 70000u})
    EXPECT_EQ(Message(id), "") << id;
  EXPECT_FALSE(HasMessage(context(), 61));
  EXPECT_TRUE(HasMessage(context(), 1016));
}

TEST_F(ErrorsCatalogueTest, TextsAreCutToTheBuffer) {
  char text[5];
  EXPECT_EQ(LoadMessage(context(), 1016, text, sizeof text), 4u);
  EXPECT_STREQ(text, "File");
  char16_t wide[4];
  EXPECT_EQ(LoadMyStringW(&context(), nullptr, 230, wide, sizeof wide), 3u);
  EXPECT_EQ(std::u16string(wide), u"Err");
}

TEST_F(ErrorsCatalogueTest, ExportedLookups) {
  char text[64];
  EXPECT_EQ(::LoadMyString(&context(), nullptr, 234, text, sizeof text), 5);
  EXPECT_STREQ(text, "&Exit");
  char16_t wide[64];
  EXPECT_EQ(::LoadMyStringW(&context(), nullptr, 1016, wide, sizeof wide), 26);
  EXPECT_EQ(std::u16string(wide), u"FileDelete: File not found");
  EXPECT_EQ(::LoadMyString(&context(), nullptr, 234, text, 0), 0);
}

// A language file in the current directory overrides texts of 100 and up, text by text.
class ErrorsLanguageFileTest : public ErrorsCatalogueTest {
 protected:
  void SetUp() override {
    ErrorsCatalogueTest::SetUp();
    previousDirectory_ = std::filesystem::current_path();
    directory_ = std::filesystem::temp_directory_path() /
                 ("kel-language-" + std::to_string(platform::TickCount()));
    std::filesystem::create_directories(directory_);
    std::string name = std::string("KELDLANG.") + CurrentLanguage();
    std::ofstream file(directory_ / name, std::ios::binary);
    file << "[MAIN]\r\n"
            "X1016=Datei~nicht gefunden|jetzt\r\n"
            "X3056=XXX\r\n"
            "X61=http://example.invalid/\r\n"
            "X9999=Abbruch\r\n";
    file.close();
    std::filesystem::current_path(directory_);
    char none[4];
    LoadMessage(context(), 0, none, sizeof none);  // id 0 chooses the language again
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::current_path(previousDirectory_, ignored);
    std::filesystem::remove_all(directory_, ignored);
    char none[4];
    LoadMessage(context(), 0, none, sizeof none);
    ErrorsCatalogueTest::TearDown();
  }

  std::filesystem::path previousDirectory_;
  std::filesystem::path directory_;
};

TEST_F(ErrorsLanguageFileTest, OverridesTextByText) {
  EXPECT_STRNE(LanguageFilePath(), "");
  EXPECT_EQ(Message(1016), "Datei\nnicht gefunden\tjetzt");
  EXPECT_EQ(Message(9999), "Abbruch");
  // "XXX" in the language file and a missing key both leave the module's own text.
  EXPECT_EQ(Message(3056), "Variable could not be converted to string");
  EXPECT_EQ(Message(1213), "Cmd Extender: Minor error occurred");
  // Ids below 100 always come from the module's table, which has no text 61.
  EXPECT_EQ(Message(61), "");
}

TEST_F(ErrorsLanguageFileTest, ChoosingAgainWithoutTheFileRestoresTheTable) {
  std::error_code ignored;
  std::filesystem::current_path(previousDirectory_, ignored);
  char none[4];
  LoadMessage(context(), 0, none, sizeof none);
  EXPECT_STREQ(LanguageFilePath(), "");
  EXPECT_EQ(Message(1016), "FileDelete: File not found");
}

}  // namespace
}  // namespace kel::testing

// Control ids of the error box and its traceback window, shared by the dialog templates in
// kel.rc and the dialog procedures; plain macros because the resource compiler reads them too.
#ifndef KEL_RESOURCES_ERROR_BOX_IDS_H
#define KEL_RESOURCES_ERROR_BOX_IDS_H

#define KEL_ERRORBOX_LABEL 100
#define KEL_ERRORBOX_SCRIPT 101
#define KEL_ERRORBOX_HEADLINE 102
#define KEL_ERRORBOX_LINE_INFO 110
#define KEL_ERRORBOX_FILE_INFO 111
#define KEL_ERRORBOX_ERROR_LINE 120
#define KEL_ERRORBOX_VERSION 130
#define KEL_ERRORBOX_MORE_INFO 131
#define KEL_ERRORBOX_TRACEBACK 132
#define KEL_ERRORBOX_WEB_PAGE 140
#define KEL_ERRORBOX_FIRST_BUTTON 1
#define KEL_ERRORBOX_EXIT_BUTTON 2

#define KEL_TRACEBACK_LIST 100
#define KEL_TRACEBACK_OK 1

#endif  // KEL_RESOURCES_ERROR_BOX_IDS_H

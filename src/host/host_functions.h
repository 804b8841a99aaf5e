// The 54 functions a matching host exports, in binding order. BOUND names are
// only looked up; CALLED names are the ones the plug-in calls. A program
// expands the list with macros of its own for either kind.
#pragma once

#define QM_HOST_FUNCTIONS(BOUND, CALLED)                                         \
    BOUND(BKA_GetVersion) BOUND(BKA_Command) BOUND(BKA_GetWindowHandles)         \
    CALLED(BKA_RegisterCommand) BOUND(BKA_RegisterUICallback)                    \
    BOUND(BKA_GetDataFolder) BOUND(BKA_GetTempFolder) BOUND(BKA_GetTempFileName) \
    BOUND(BKA_GetCurrentMailBox) BOUND(BKA_SetCurrentMailBox)                    \
    BOUND(BKA_GetCurrentFolder) BOUND(BKA_SetCurrentFolder)                      \
    BOUND(BKA_GetFolderDisplayName) BOUND(BKA_SetMessageText)                    \
    BOUND(BKA_GetCurrentMail) BOUND(BKA_SetCurrentMail) BOUND(BKA_GetNextMail)   \
    BOUND(BKA_SetSel) BOUND(BKA_AppendMessage) BOUND(BKA_MoveSelectedMessages)   \
    BOUND(BKA_GetStatus) BOUND(BKA_ComposeMail) BOUND(BKA_GetCharSet)            \
    CALLED(BKA_GetSource) BOUND(BKA_SetSource) CALLED(BKA_GetHeader)             \
    BOUND(BKA_GetText) CALLED(BKA_SetText) BOUND(BKA_GetSpecifiedHeader)         \
    BOUND(BKA_SetSpecifiedHeader) BOUND(BKA_CompGetCharSet)                      \
    BOUND(BKA_CompGetSource) BOUND(BKA_CompSetSource) BOUND(BKA_CompGetHeader)   \
    BOUND(BKA_CompGetSpecifiedHeader) BOUND(BKA_CompSetSpecifiedHeader)          \
    BOUND(BKA_CompGetText) BOUND(BKA_CompSetText) BOUND(BKA_CompAttachFile)      \
    BOUND(BKA_Alloc) BOUND(BKA_ReAlloc) CALLED(BKA_Free) BOUND(BKA_ISO_2022_JP)  \
    BOUND(BKA_ISO_2022_KR) BOUND(BKA_HZ_GB2312) BOUND(BKA_ISO_8859_2)            \
    BOUND(BKA_EUC_JP) BOUND(BKA_UTF_7) BOUND(BKA_UTF_8) BOUND(BKA_B64Convert)    \
    BOUND(BKA_QPConvert) BOUND(BKA_MIMEHeader) BOUND(BKA_SerializeRcpts)         \
    BOUND(BKA_Connect)

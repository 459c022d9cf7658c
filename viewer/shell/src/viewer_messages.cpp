#include "shell/viewer_messages.h"

namespace shell {

const char* viewer_message_name(unsigned message) {
    switch (message) {
        case kMsgFileOpened:
            return "1025 file opened";
        case kMsgProgress:
            return "1026 progress";
        case kMsgEndOfFile:
            return "1027 end of file";
        case kMsgPlayCurrent:
            return "1124 play current file";
        case kMsgDropFile:
            return "1125 file dropped";
        case kMsgSeekPreview:
            return "1127 seek preview";
        case kMsgNextFile:
            return "1129 next file";
        case kMsgDoubleClick:
            return "1224 double click";
        case kMsgPosition:
            return "1225 position";
        case kMsgMouse:
            return "1226 mouse";
        case kMsgApplyView:
            return "1324 apply view";
        default:
            return "";
    }
}

}  // namespace shell

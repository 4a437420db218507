#include "shell/UScreenSaverInit.h"

#include "platform/sysutils.h"

namespace nimbrel {

TSaverInit DecideSaverMode(const std::vector<std::string>& Args) {
    TSaverInit init;
    // A missing argument reads as empty text, which does not convert.
    init.ParentWindow = StrToIntDef(Args.size() > 1 ? Args[1] : std::string(), 0);
    init.Switch = UpperCase(Args.empty() ? std::string() : Args[0]);
    const std::string& s = init.Switch;
    if (s == "-S" || s == "/S")
        init.SaverMode = smSaver;
    else if (s == "-P" || s == "/P" || s == "-L" || s == "/L")
        init.SaverMode = smPreview;
    else if (s == "-A" || s == "/A")
        init.SaverMode = smChangePassword;
    else
        init.SaverMode = smSetting;
    return init;
}

}  // namespace nimbrel

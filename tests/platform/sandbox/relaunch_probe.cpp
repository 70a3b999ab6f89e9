// A tiny program on the sandbox platform that behaves like a program entry:
// without arguments on Vista or later it relaunches itself elevated with "-1";
// otherwise it writes its arguments to C:\probe.txt and exits with status 3.
// A refused elevation ends it with status 1.
#include <cstdio>

#include "platform/common.h"
#include "platform/errors.h"
#include "platform/os.h"

int main(int argc, char** argv) {
    using namespace setup;
    try {
        std::unique_ptr<Platform> platform = CreateNativePlatform(argc, argv);
        SetPlatform(platform.get());
        std::vector<std::string> args = OS().System().GetArguments();
        if (args.empty() && IsVistaOrLater()) {
            RunElevated(OS().System().GetOwnExecutablePath(), "-1");
            return 0;
        }
        std::string text;
        for (const std::string& a : args) text += a + "|";
        OS().Files().Open("C:\\probe.txt", OpenMode::Create)->WriteBytes(text);
        return 3;
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

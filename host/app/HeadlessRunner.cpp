#include "host/app/HeadlessRunner.h"

#include "host/app/HostSetup.h"

int RunHeadless(const HostOptions& options, std::FILE* out, std::FILE* err) {
    std::string error;
    HostEnvironment env = PrepareHost(options, &error);
    if (!error.empty()) {
        std::fprintf(err, "quill-host: %s\n", error.c_str());
        return 2;
    }
    std::fprintf(err, "quill-host: scenarios are not supported yet\n");
    return 2;
}

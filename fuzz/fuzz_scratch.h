// A scratch folder for the targets that need files or sockets: made under
// TMPDIR (else /tmp) at start, removed with all it holds at exit.
#pragma once

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

inline std::string& ScratchFolder()
{
    static std::string folder;
    return folder;
}

inline void RemoveScratchFolder()
{
    nftw(
        ScratchFolder().c_str(),
        [](const char* path, const struct stat*, int, FTW*) { return remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

inline const std::string& MakeScratchFolder()
{
    const char* tmp = getenv("TMPDIR");
    std::string folder =
        std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/ostrel-fuzz-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) {
        perror("mkdtemp");
        exit(1);
    }
    ScratchFolder() = folder;
    atexit(RemoveScratchFolder);
    return ScratchFolder();
}

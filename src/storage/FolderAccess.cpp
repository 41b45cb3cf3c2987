#include "storage/FolderAccess.h"

#include <windows.h>

#include "win/Scoped.h"

bool CanWriteFolder(const std::string& dir) {
    // A file that deletes itself: the test leaves nothing behind, whatever happens next.
    const std::string probe = dir + "\\~tavori-write-test.tmp";
    const win::File file(CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return static_cast<bool>(file);
}

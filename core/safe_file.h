// Files that a power cut leaves either as they were or whole: the new
// content goes to a temporary name beside the file, is synced, and is then
// renamed over the old file (or, where none may be replaced, to a free
// name), and the folder is synced for the new name.
#pragma once

#include <cstddef>
#include <string>

// What a cut can leave of a file being written: its name with this ending.
constexpr const char *SAFE_FILE_TEMP_SUFFIX = ".tmp";

struct SafeFile {
    int fd = -1;
    bool failed = false;
    std::string path, temp;
};

// Opens the temporary file of `path` (firmware path) for writing; false
// when it can't be made.
bool safe_file_open(SafeFile &f, const std::string &path);
// Appends bytes; a failure is remembered and fails the commit.
bool safe_file_write(SafeFile &f, const void *data, size_t size);
// Syncs the temporary file and gives it the file's name. With `replace`
// false an existing file of that name stays as it is and the commit fails
// with errno EEXIST. A commit that fails leaves no temporary file.
bool safe_file_commit(SafeFile &f, bool replace);
// Gives up the new content: the temporary file goes.
void safe_file_abort(SafeFile &f);
// A whole temporary file that a cut left before its rename takes the name
// `path`, unless a file has it (false, errno EEXIST); the folder is synced.
bool safe_file_adopt(const std::string &temp, const std::string &path);

// The whole file in one go, replacing the old; `opened` tells a file that
// could not be made from one that could not be written.
bool safe_file_write_all(const std::string &path, const void *data, size_t size, bool *opened = nullptr);

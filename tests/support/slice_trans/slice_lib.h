// Test helper: the tests' "libslice_trans.so" put on (or taken off) the test
// executable's own folder of the loader's path, and the test's own handle on
// it, which reads the library's log and keeps it loaded (and its log alive)
// while the firmware closes its handle.
#pragma once

#include "tests/support/slice_trans/slice_trans.h"

#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace slicetest {

inline std::filesystem::path executable()
{
    return std::filesystem::read_symlink("/proc/self/exe");
}

// loader/<executable's name> beside the executable: on its run path.
inline std::filesystem::path loader_dir()
{
    return executable().parent_path() / "loader" / executable().filename();
}

inline std::filesystem::path installed() { return loader_dir() / "libslice_trans.so"; }

// Where the build puts the library: testlib/ at the top of the build.
inline std::filesystem::path built()
{
    return executable().parent_path().parent_path() / "testlib" / "libslice_trans.so";
}

inline void uninstall()
{
    std::error_code ec;
    std::filesystem::remove(installed(), ec);
}

inline bool install()
{
    uninstall();
    std::error_code ec;
    std::filesystem::create_directories(loader_dir(), ec);
    std::filesystem::create_symlink(built(), installed(), ec);
    return !ec;
}

class Library {
public:
    ~Library() { close(); }
    bool open()
    {
        handle_ = dlopen("libslice_trans.so", RTLD_NOW | RTLD_LOCAL);
        if (!handle_)
            return false;
        log_ = reinterpret_cast<SLICE_TRANS_LOG_FN>(dlsym(handle_, "slice_trans_log"));
        init_result_ = reinterpret_cast<SLICE_TRANS_SET_INIT_RESULT_FN>(dlsym(handle_, "slice_trans_set_init_result"));
        touch_ = reinterpret_cast<SLICE_TRANS_TOUCH_FN>(dlsym(handle_, "slice_trans_touch"));
        return log_ && init_result_ && touch_;
    }
    void close()
    {
        if (handle_)
            dlclose(handle_);
        handle_ = nullptr;
    }
    SliceTransLog &log() { return *log_(); }
    void set_init_result(s32 result) { init_result_(result); }
    void touch(bool on) { touch_(on); }

    // The calls of one entry, in order.
    std::vector<SliceTransCall> calls(SliceTransEntry entry)
    {
        std::vector<SliceTransCall> out;
        SliceTransLog &l = log();
        for (u32 i = 0; i < l.u32Count && i < SLICE_TRANS_MAX_CALLS; i++)
            if (l.astCall[i].entry == entry)
                out.push_back(l.astCall[i]);
        return out;
    }

private:
    void *handle_ = nullptr;
    SLICE_TRANS_LOG_FN log_ = nullptr;
    SLICE_TRANS_SET_INIT_RESULT_FN init_result_ = nullptr;
    SLICE_TRANS_TOUCH_FN touch_ = nullptr;
};

} // namespace slicetest

// Files: folder ids, full paths, the save dialog and the file-usage
// collector.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace {

constexpr short kDefaultFolder = 1;

struct Folders {
    std::mutex lock;
    std::string default_folder = ".";
    std::vector<std::string> others;  // id 2 onwards
    std::optional<std::string> answer;  // the next save dialog's answer
};

Folders& folders() {
    static Folders* f = new Folders;
    return *f;
}

// The folder of an id; caller holds the lock.
const std::string* folder_of(Folders& f, short id) {
    if (id == kDefaultFolder) return &f.default_folder;
    long i = static_cast<long>(id) - 2;
    if (i < 0 || i >= static_cast<long>(f.others.size())) return nullptr;
    return &f.others[static_cast<std::size_t>(i)];
}

// The id of a folder, given a new one when the host does not know it yet.
short folder_id(Folders& f, const std::string& dir) {
    if (dir == f.default_folder) return kDefaultFolder;
    for (std::size_t i = 0; i < f.others.size(); ++i)
        if (f.others[i] == dir) return static_cast<short>(i + 2);
    if (f.others.size() >= 30000) return 0;
    f.others.push_back(dir);
    return static_cast<short>(f.others.size() + 1);
}

struct FileUsage {
    std::vector<std::string> entries;
};

}  // namespace

void hox_host_set_default_folder(const char* dir) {
    try {
        Folders& f = folders();
        std::lock_guard<std::mutex> g(f.lock);
        f.default_folder = dir && *dir ? dir : ".";
    } catch (...) {
    }
}

const char* hox_host_default_folder() {
    Folders& f = folders();
    std::lock_guard<std::mutex> g(f.lock);
    return f.default_folder.c_str();
}

const char* hox_host_folder_path(short id) {
    Folders& f = folders();
    std::lock_guard<std::mutex> g(f.lock);
    const std::string* dir = folder_of(f, id);
    return dir ? dir->c_str() : nullptr;
}

short path_getdefault() { return kDefaultFolder; }

short path_topotentialname(short path, const char* name, char* fullpath, short) {
    if (!name || !fullpath) return 1;
    try {
        Folders& f = folders();
        std::lock_guard<std::mutex> g(f.lock);
        const std::string* dir = folder_of(f, path);
        if (!dir) return 1;
        std::string full = *dir;
        if (full.empty() || full.back() != '/') full += '/';
        full += name;
        if (full.size() >= static_cast<std::size_t>(MAX_PATH_CHARS)) return 1;
        std::memcpy(fullpath, full.c_str(), full.size() + 1);
        return 0;
    } catch (...) {
        return 1;
    }
}

short path_nameconform(const char* src, char* dst, long, long) {
    if (!src || !dst) return 1;
    std::size_t n = std::strlen(src);
    if (n >= static_cast<std::size_t>(MAX_PATH_CHARS)) return 1;
    std::memmove(dst, src, n + 1);
    return 0;
}

void hox_host_answer_save_dialog(const char* fullpath) {
    try {
        Folders& f = folders();
        std::lock_guard<std::mutex> g(f.lock);
        if (fullpath)
            f.answer = fullpath;
        else
            f.answer.reset();
    } catch (...) {
    }
}

short saveasdialog_extended(char* name, short* path, uint32_t* outtype, const uint32_t* typelist, short numtypes) {
    try {
        Folders& f = folders();
        std::lock_guard<std::mutex> g(f.lock);
        std::optional<std::string> answer = std::move(f.answer);
        f.answer.reset();  // an answer serves one dialog
        if (!answer || answer->empty()) return 1;
        std::size_t slash = answer->rfind('/');
        std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : answer->substr(0, slash);
        std::string file = slash == std::string::npos ? *answer : answer->substr(slash + 1);
        if (file.empty() || file.size() >= static_cast<std::size_t>(MAX_PATH_CHARS)) return 1;
        short id = folder_id(f, dir);
        if (!id) return 1;
        if (name) std::memcpy(name, file.c_str(), file.size() + 1);
        if (path) *path = id;
        if (outtype) *outtype = typelist && numtypes > 0 ? typelist[0] : 0;
        return 0;
    } catch (...) {
        return 1;
    }
}

// ---------------------------------------------------------------- file usage

void* hox_fileusage_new() {
    try {
        return new FileUsage;
    } catch (...) {
        return nullptr;
    }
}

void hox_fileusage_free(void* w) { delete static_cast<FileUsage*>(w); }

long hox_fileusage_count(void* w) {
    return w ? static_cast<long>(static_cast<FileUsage*>(w)->entries.size()) : 0;
}

const char* hox_fileusage_entry(void* w, long index) {
    if (!w || index < 0 || index >= hox_fileusage_count(w)) return nullptr;
    return static_cast<FileUsage*>(w)->entries[static_cast<std::size_t>(index)].c_str();
}

void fileusage_addpackage(void* w, const char* name, t_atomarray* subfolders) {
    try {
        if (w && name) {
            std::string line = std::string("package ") + name;
            long ac = 0;
            t_atom* av = nullptr;
            if (subfolders && atomarray_getatoms(subfolders, &ac, &av) == HOX_ERR_NONE) {
                for (long i = 0; i < ac; ++i) {
                    char buf[MAX_PATH_CHARS];
                    hox_atom_format(av + i, buf, sizeof buf);
                    line += ' ';
                    line += buf;
                }
            }
            static_cast<FileUsage*>(w)->entries.push_back(std::move(line));
        }
    } catch (...) {
    }
    // The collector owns the list it was given.
    object_free(subfolders);
}

void fileusage_addfilename(void* w, long, const char* name) {
    if (!w || !name) return;
    try {
        static_cast<FileUsage*>(w)->entries.push_back(std::string("file ") + name);
    } catch (...) {
    }
}

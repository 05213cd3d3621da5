// A file system that loses power on request, for the power-cut test.
//
//   kv_powercut_fs BACKING MOUNTPOINT [--keep=none|prefix] [--seed=N] [--snapshot=DIR]
//
// Everything is passed through to the folder BACKING, except that data
// written to a file stays apart, as in a page cache, until the file is synced
// (fsync or fdatasync). SIGUSR1 cuts the power: unsynced data is dropped
// (--keep=none) or a random prefix of it, in the order it was written, reaches
// the folder, the last write maybe torn (--keep=prefix); a file created and
// never synced, nor its folder, loses its name; every later call fails with
// EIO. With --snapshot, each file that held unsynced data is first copied,
// complete, into DIR under its path: what a kill, which keeps the page cache,
// would have left. A normal unmount writes everything out.
//
// Names, sizes set by hand and folders reach the backing folder at once. One
// thread serves every call, so the cut falls between two calls.

#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

struct Op {
    bool truncate = false;  // else a write
    off_t offset = 0;       // a write's offset, or the size cut to
    std::string data;
    std::uint64_t seq = 0;
};

// A backing file that is open, or holds unsynced data; by inode.
struct File {
    int fd = -1;
    int opens = 0;
    off_t size = 0;  // as the program sees it
    std::string path;
    std::vector<Op> ops;
};

std::string g_backing;
int g_dir = -1;
std::string g_snapshot;
bool g_keepPrefix = false;
std::mt19937_64 g_random;
std::map<ino_t, File> g_files;
std::map<std::string, ino_t> g_newNames;  // created, not yet synced
std::uint64_t g_seq = 0;
volatile std::sig_atomic_t g_cutRequested = 0;
bool g_cut = false;

std::string rel(const char* path) {
    return path[1] ? std::string(path + 1) : std::string(".");
}

void applyOp(int fd, const Op& op, std::size_t length) {
    if (op.truncate) {
        if (::ftruncate(fd, op.offset) != 0) {
            std::perror("powercut_fs: ftruncate");
        }
    } else if (::pwrite(fd, op.data.data(), length, op.offset) != ssize_t(length)) {
        std::perror("powercut_fs: pwrite");
    }
}

void writeOut(File& file) {
    for (const Op& op : file.ops) {
        applyOp(file.fd, op, op.data.size());
    }
    file.ops.clear();
}

void forget(ino_t ino) {
    auto it = g_files.find(ino);
    if (it != g_files.end() && it->second.opens == 0 && it->second.ops.empty()) {
        ::close(it->second.fd);
        g_files.erase(it);
    }
}

// The file as the program sees it, from offset on, into buf.
ssize_t readView(File& file, char* buf, std::size_t size, off_t offset) {
    ssize_t got = ::pread(file.fd, buf, size, offset);
    if (got < 0) {
        return -errno;
    }
    std::memset(buf + got, 0, size - std::size_t(got));
    const off_t end = offset + off_t(size);
    for (const Op& op : file.ops) {
        if (op.truncate) {
            if (op.offset < end) {
                const off_t from = std::max(op.offset, offset);
                std::memset(buf + (from - offset), 0, std::size_t(end - from));
            }
            continue;
        }
        const off_t opEnd = op.offset + off_t(op.data.size());
        const off_t from = std::max(op.offset, offset);
        const off_t to = std::min(opEnd, end);
        if (from < to) {
            std::memcpy(buf + (from - offset), op.data.data() + (from - op.offset),
                        std::size_t(to - from));
        }
    }
    return std::max<ssize_t>(0, std::min<ssize_t>(ssize_t(size), file.size - offset));
}

void snapshot() {
    if (g_snapshot.empty()) {
        return;
    }
    for (auto& [ino, file] : g_files) {
        if (file.ops.empty()) {
            continue;
        }
        std::string target = g_snapshot + "/" + file.path;
        for (std::size_t slash = 0; (slash = target.find('/', slash + 1)) != std::string::npos;) {
            ::mkdir(target.substr(0, slash).c_str(), 0755);
        }
        const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out < 0) {
            std::perror("powercut_fs: snapshot");
            continue;
        }
        std::vector<char> bytes(std::size_t(file.size));
        if (readView(file, bytes.data(), bytes.size(), 0) != ssize_t(bytes.size()) ||
            ::write(out, bytes.data(), bytes.size()) != ssize_t(bytes.size())) {
            std::fprintf(stderr, "powercut_fs: snapshot of %s incomplete\n", file.path.c_str());
        }
        ::close(out);
    }
}

// Cuts the power once; afterwards true.
bool powerOff() {
    if (g_cut) {
        return true;
    }
    if (!g_cutRequested) {
        return false;
    }
    g_cut = true;
    snapshot();
    std::vector<std::pair<const Op*, int>> ops;
    for (auto& [ino, file] : g_files) {
        for (const Op& op : file.ops) {
            ops.emplace_back(&op, file.fd);
        }
    }
    std::sort(ops.begin(), ops.end(),
              [](const auto& a, const auto& b) { return a.first->seq < b.first->seq; });
    std::size_t kept = 0;
    if (g_keepPrefix && !ops.empty()) {
        kept = std::uniform_int_distribution<std::size_t>(0, ops.size())(g_random);
        for (std::size_t i = 0; i < kept; ++i) {
            applyOp(ops[i].second, *ops[i].first, ops[i].first->data.size());
        }
        // The next write torn part way, as a sector at a time reaches the disk.
        if (kept < ops.size() && !ops[kept].first->truncate) {
            const std::size_t torn = std::uniform_int_distribution<std::size_t>(
                0, ops[kept].first->data.size())(g_random);
            applyOp(ops[kept].second, *ops[kept].first, torn);
        }
    }
    int unnamed = 0;
    for (const auto& [path, ino] : g_newNames) {
        struct stat st {};
        if (::fstatat(g_dir, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_ino == ino &&
            ::unlinkat(g_dir, path.c_str(), 0) == 0) {
            ++unnamed;
        }
    }
    std::fprintf(stderr, "powercut_fs: power cut; %zu of %zu unsynced writes kept, %d names lost\n",
                 kept, ops.size(), unnamed);
    for (auto& [ino, file] : g_files) {
        file.ops.clear();
    }
    return true;
}

#define POWER_ON()        \
    do {                  \
        if (powerOff()) { \
            return -EIO;  \
        }                 \
    } while (false)

int fsGetattr(const char* path, struct stat* st, fuse_file_info* fi) {
    POWER_ON();
    if (fi && g_files.count(ino_t(fi->fh))) {
        if (::fstat(g_files[ino_t(fi->fh)].fd, st) != 0) {
            return -errno;
        }
    } else if (::fstatat(g_dir, rel(path).c_str(), st, AT_SYMLINK_NOFOLLOW) != 0) {
        return -errno;
    }
    if (auto it = g_files.find(st->st_ino); it != g_files.end()) {
        st->st_size = it->second.size;
    }
    return 0;
}

int fsReadlink(const char* path, char* buf, std::size_t size) {
    POWER_ON();
    const ssize_t n = ::readlinkat(g_dir, rel(path).c_str(), buf, size - 1);
    if (n < 0) {
        return -errno;
    }
    buf[n] = '\0';
    return 0;
}

int fsMkdir(const char* path, mode_t mode) {
    POWER_ON();
    return ::mkdirat(g_dir, rel(path).c_str(), mode) == 0 ? 0 : -errno;
}

int fsUnlink(const char* path) {
    POWER_ON();
    g_newNames.erase(rel(path));
    return ::unlinkat(g_dir, rel(path).c_str(), 0) == 0 ? 0 : -errno;
}

int fsRmdir(const char* path) {
    POWER_ON();
    return ::unlinkat(g_dir, rel(path).c_str(), AT_REMOVEDIR) == 0 ? 0 : -errno;
}

int fsSymlink(const char* target, const char* path) {
    POWER_ON();
    return ::symlinkat(target, g_dir, rel(path).c_str()) == 0 ? 0 : -errno;
}

int fsRename(const char* from, const char* to, unsigned int flags) {
    POWER_ON();
    if (flags != 0) {
        return -EINVAL;
    }
    if (::renameat(g_dir, rel(from).c_str(), g_dir, rel(to).c_str()) != 0) {
        return -errno;
    }
    if (auto it = g_newNames.find(rel(from)); it != g_newNames.end()) {
        g_newNames[rel(to)] = it->second;
        g_newNames.erase(it);
    }
    for (auto& [ino, file] : g_files) {
        if (file.path == rel(from)) {
            file.path = rel(to);
        }
    }
    return 0;
}

int fsChmod(const char* path, mode_t mode, fuse_file_info*) {
    POWER_ON();
    return ::fchmodat(g_dir, rel(path).c_str(), mode, 0) == 0 ? 0 : -errno;
}

int fsTruncate(const char* path, off_t size, fuse_file_info* fi) {
    POWER_ON();
    auto it = fi ? g_files.find(ino_t(fi->fh)) : g_files.end();
    if (it == g_files.end()) {
        struct stat st {};
        if (::fstatat(g_dir, rel(path).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            it = g_files.find(st.st_ino);
        }
    }
    if (it == g_files.end()) {
        // Not open: the new size goes through at once.
        const int fd = ::openat(g_dir, rel(path).c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            return -errno;
        }
        const int result = ::ftruncate(fd, size) == 0 ? 0 : -errno;
        ::close(fd);
        return result;
    }
    Op op;
    op.truncate = true;
    op.offset = size;
    op.seq = g_seq++;
    it->second.ops.push_back(std::move(op));
    it->second.size = size;
    return 0;
}

int fsUtimens(const char* path, const timespec tv[2], fuse_file_info*) {
    POWER_ON();
    return ::utimensat(g_dir, rel(path).c_str(), tv, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
}

int adopt(const char* path, int fd, fuse_file_info* fi) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int failure = errno;
        ::close(fd);
        return -failure;
    }
    File& file = g_files[st.st_ino];
    if (file.fd < 0) {
        file.fd = fd;
        file.size = st.st_size;
    } else {
        ::close(fd);
    }
    file.path = rel(path);
    ++file.opens;
    fi->fh = st.st_ino;
    fi->direct_io = 1;
    return 0;
}

int openBacking(const char* path, int flags, mode_t mode) {
    // Our own descriptor reads and writes whatever the program asked for.
    flags = (flags & ~(O_ACCMODE | O_APPEND | O_TRUNC)) | O_RDWR | O_CLOEXEC;
    int fd = ::openat(g_dir, rel(path).c_str(), flags, mode);
    if (fd < 0 && errno == EACCES) {
        fd = ::openat(g_dir, rel(path).c_str(), (flags & ~O_ACCMODE) | O_RDONLY, mode);
    }
    return fd;
}

int fsCreate(const char* path, mode_t mode, fuse_file_info* fi) {
    POWER_ON();
    const int fd = openBacking(path, fi->flags | O_CREAT, mode);
    if (fd < 0) {
        return -errno;
    }
    const int result = adopt(path, fd, fi);
    if (result == 0) {
        g_newNames[rel(path)] = ino_t(fi->fh);
    }
    return result;
}

int fsOpen(const char* path, fuse_file_info* fi) {
    POWER_ON();
    const int fd = openBacking(path, fi->flags, 0);
    if (fd < 0) {
        return -errno;
    }
    const int result = adopt(path, fd, fi);
    if (result == 0 && (fi->flags & O_TRUNC)) {
        return fsTruncate(path, 0, fi);
    }
    return result;
}

int fsRead(const char*, char* buf, std::size_t size, off_t offset, fuse_file_info* fi) {
    POWER_ON();
    return int(readView(g_files[ino_t(fi->fh)], buf, size, offset));
}

int fsWrite(const char*, const char* buf, std::size_t size, off_t offset, fuse_file_info* fi) {
    POWER_ON();
    File& file = g_files[ino_t(fi->fh)];
    if (fi->flags & O_APPEND) {
        offset = file.size;
    }
    Op op;
    op.offset = offset;
    op.data.assign(buf, size);
    op.seq = g_seq++;
    file.ops.push_back(std::move(op));
    file.size = std::max(file.size, offset + off_t(size));
    return int(size);
}

int fsStatfs(const char*, struct statvfs* st) {
    POWER_ON();
    return ::fstatvfs(g_dir, st) == 0 ? 0 : -errno;
}

int fsFlush(const char*, fuse_file_info*) {
    POWER_ON();
    return 0;  // a close syncs nothing
}

int fsRelease(const char*, fuse_file_info* fi) {
    // Unsynced data outlives the descriptor, as in a page cache.
    auto it = g_files.find(ino_t(fi->fh));
    if (it != g_files.end()) {
        --it->second.opens;
        if (g_cut) {
            it->second.ops.clear();
        }
        forget(it->first);
    }
    return g_cut ? -EIO : 0;
}

int fsFsync(const char*, int, fuse_file_info* fi) {
    POWER_ON();
    File& file = g_files[ino_t(fi->fh)];
    writeOut(file);
    // A synced new file keeps its name, as on a journalling file system.
    std::erase_if(g_newNames, [&](const auto& entry) { return entry.second == ino_t(fi->fh); });
    return 0;
}

int fsOpendir(const char* path, fuse_file_info* fi) {
    POWER_ON();
    const int fd = ::openat(g_dir, rel(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return -errno;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int failure = errno;
        ::close(fd);
        return -failure;
    }
    fi->fh = reinterpret_cast<std::uintptr_t>(dir);
    return 0;
}

int fsReaddir(const char*, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info* fi,
              fuse_readdir_flags) {
    POWER_ON();
    DIR* dir = reinterpret_cast<DIR*>(fi->fh);
    ::rewinddir(dir);
    while (dirent* entry = ::readdir(dir)) {
        struct stat st {};
        st.st_ino = entry->d_ino;
        st.st_mode = mode_t(DTTOIF(entry->d_type));
        if (fill(buf, entry->d_name, &st, 0, fuse_fill_dir_flags(0)) != 0) {
            break;
        }
    }
    return 0;
}

int fsReleasedir(const char*, fuse_file_info* fi) {
    ::closedir(reinterpret_cast<DIR*>(fi->fh));
    return 0;
}

int fsFsyncdir(const char* path, int, fuse_file_info*) {
    POWER_ON();
    // The names in this folder are on the disk now.
    std::string folder = rel(path);
    folder = folder == "." ? std::string() : folder + "/";
    std::erase_if(g_newNames, [&](const auto& entry) {
        return entry.first.compare(0, folder.size(), folder) == 0 &&
               entry.first.find('/', folder.size()) == std::string::npos;
    });
    return 0;
}

void* fsInit(fuse_conn_info*, fuse_config* cfg) {
    cfg->use_ino = 1;
    cfg->entry_timeout = 0;
    cfg->attr_timeout = 0;
    cfg->negative_timeout = 0;
    cfg->direct_io = 1;
    return nullptr;
}

void fsDestroy(void*) {
    if (powerOff()) {
        return;
    }
    for (auto& [ino, file] : g_files) {
        writeOut(file);
    }
}

void onCut(int) {
    g_cutRequested = 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> fuseArgs{argv[0]};
    std::vector<std::string> positional;
    std::uint64_t seed = std::random_device{}();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--keep=prefix") {
            g_keepPrefix = true;
        } else if (arg == "--keep=none") {
            g_keepPrefix = false;
        } else if (arg.rfind("--seed=", 0) == 0) {
            seed = std::stoull(arg.substr(7));
        } else if (arg.rfind("--snapshot=", 0) == 0) {
            g_snapshot = arg.substr(11);
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "powercut_fs: unknown option %s\n", arg.c_str());
            return 2;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) {
        std::fprintf(stderr,
                     "usage: %s BACKING MOUNTPOINT [--keep=none|prefix] [--seed=N] "
                     "[--snapshot=DIR]\n",
                     argv[0]);
        return 2;
    }
    g_random.seed(seed);
    g_backing = positional[0];
    g_dir = ::open(g_backing.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (g_dir < 0) {
        std::perror(g_backing.c_str());
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onCut;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGUSR1, &action, nullptr);

    static fuse_operations ops{};
    ops.getattr = fsGetattr;
    ops.readlink = fsReadlink;
    ops.mkdir = fsMkdir;
    ops.unlink = fsUnlink;
    ops.rmdir = fsRmdir;
    ops.symlink = fsSymlink;
    ops.rename = fsRename;
    ops.chmod = fsChmod;
    ops.truncate = fsTruncate;
    ops.open = fsOpen;
    ops.read = fsRead;
    ops.write = fsWrite;
    ops.statfs = fsStatfs;
    ops.flush = fsFlush;
    ops.release = fsRelease;
    ops.fsync = fsFsync;
    ops.opendir = fsOpendir;
    ops.readdir = fsReaddir;
    ops.releasedir = fsReleasedir;
    ops.fsyncdir = fsFsyncdir;
    ops.init = fsInit;
    ops.destroy = fsDestroy;
    ops.create = fsCreate;
    ops.utimens = fsUtimens;

    std::string mountpoint = positional[1];
    fuseArgs.push_back(mountpoint.data());
    char foreground[] = "-f";
    char single[] = "-s";
    fuseArgs.push_back(foreground);
    fuseArgs.push_back(single);
    return fuse_main(int(fuseArgs.size()), fuseArgs.data(), &ops, nullptr);
}

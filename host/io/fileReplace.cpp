#include "host/io/fileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace host::io {

namespace {

// Every byte, or false (errno says why).
bool writeAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

MStatus replaceFile(const std::string& path, const std::string& bytes) {
    const auto cannot = [&](const std::string& why) {
        return MStatus(MS::kFailure, "Cannot write '" + path + "': " + why + ".");
    };
    if (path.empty()) return cannot("no file name");
    namespace fs = std::filesystem;
    fs::path target(path);
    if (std::error_code ec; fs::is_symlink(fs::symlink_status(target, ec))) {
        target = fs::weakly_canonical(target, ec);
        if (ec) return cannot(ec.message());
    }
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return cannot("not a regular file");
    if (exists && ::access(target.c_str(), W_OK) != 0) return cannot(std::strerror(errno));

    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string stem(".");
    stem.append(target.filename().string()).append(".tmp").append(std::to_string(::getpid())).append("-");
    std::string temp;
    int fd = -1;
    for (int n = 0; fd < 0 && n < 100; ++n) {
        temp = (folder / (stem + std::to_string(n))).string();
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return cannot(std::strerror(errno));
    }
    if (fd < 0) return cannot("no free temporary name");
    bool ok = (!exists || ::fchmod(fd, old.st_mode & 07777) == 0) && writeAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && std::rename(temp.c_str(), target.c_str()) == 0) return MS::kSuccess;
    if (ok) error = errno;
    ::unlink(temp.c_str());
    return cannot(std::strerror(error));
}

}  // namespace host::io

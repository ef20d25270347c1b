#include "drive/ScriptFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace drive {

FileText readScriptFile(const QString& path) {
    const bool standardInput = path == QLatin1String("-");
    const int fd = standardInput ? STDIN_FILENO : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    FileText file;
    const auto failed = [&file, &path] {
        file.text.clear();
        file.error = "cannot read " + path.toStdString() + ": " + std::strerror(errno);
    };
    if (fd < 0) {
        failed();
        return file;
    }
    char chunk[65536];
    while (true) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0) break;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            failed();  // a folder: "Is a directory"
            break;
        }
        file.text.append(chunk, got);
    }
    if (!standardInput) ::close(fd);
    return file;
}

}  // namespace drive

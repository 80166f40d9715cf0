#pragma once

// Test helpers for files named by raw bytes, and for code that a FIFO could block.
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

namespace carvel::testing {

// Creates a file holding content ('f'), a folder ('d') or a FIFO ('p') whose path is given as raw
// bytes (CP932 names cannot go through QFile on a UTF-8 system), and the folders above it.
inline void makeRaw(const QByteArray& path, char kind = 'f', const QByteArray& content = {}) {
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1)) {
        ::mkdir(path.left(slash).constData(), 0755);
    }
    if (kind == 'd') {
        ASSERT_EQ(::mkdir(path.constData(), 0755), 0) << path.constData();
    } else if (kind == 'p') {
        ASSERT_EQ(::mkfifo(path.constData(), 0644), 0) << path.constData();
    } else {
        FILE* f = std::fopen(path.constData(), "w");
        ASSERT_NE(f, nullptr) << path.constData();
        std::fwrite(content.constData(), 1, static_cast<size_t>(content.size()), f);
        std::fclose(f);
    }
}

// A temporary folder that is removed with all it holds by the bytes of the names, which
// QTemporaryDir cannot do for names that are no UTF-8.
class RawTempDir {
  public:
    RawTempDir() {
        QByteArray name = QFile::encodeName(QDir::tempPath()) + "/carvel-test-XXXXXX";
        if (::mkdtemp(name.data()) != nullptr) {
            native_ = name;
        }
    }
    ~RawTempDir() {
        if (!native_.isEmpty()) {
            ::nftw(
                native_.constData(),
                [](const char* path, const struct stat*, int, FTW*) { return ::remove(path); }, 16,
                FTW_DEPTH | FTW_PHYS);
        }
    }
    RawTempDir(const RawTempDir&) = delete;
    RawTempDir& operator=(const RawTempDir&) = delete;

    const QByteArray& native() const { return native_; }
    QString path() const { return QFile::decodeName(native_); }

  private:
    QByteArray native_;
};

// Runs work on a thread and waits at most `limit` for it. Should the work be stuck on the FIFO at
// fifo, the FIFO is opened for writing and closed again until the work ends, so that a fault fails
// the test instead of hanging it. True when the work ended within the limit.
inline bool finishesWithin(std::chrono::milliseconds limit, const QByteArray& fifo,
                           const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const bool inTime = done;
    while (!done) {
        const int fd = ::open(fifo.constData(), O_RDWR | O_NONBLOCK);
        if (fd >= 0) {
            ::close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    worker.join();
    return inTime;
}

}  // namespace carvel::testing

// One running copy per user: a lock file named after the old named mutex.
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace kf::ui {

class SingleInstance {
public:
    // The lock lives in the user's runtime directory.
    SingleInstance();
    explicit SingleInstance(const QString& lockPath);
    // False when another copy holds the lock; a lock left by a crashed copy does not count.
    bool acquire();
    QString path() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace kf::ui

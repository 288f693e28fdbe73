#include "app/single_instance.h"

#include <QDir>
#include <QStandardPaths>

namespace kf::ui {

namespace {
QString defaultLockPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir + QStringLiteral("/MutexObjectKFG");
}
}  // namespace

SingleInstance::SingleInstance() : SingleInstance(defaultLockPath()) {}

SingleInstance::SingleInstance(const QString& lockPath) : path_(lockPath), lock_(std::make_unique<QLockFile>(lockPath)) {
    // Only a lock whose process is gone is stale, however old a live one is.
    lock_->setStaleLockTime(0);
}

bool SingleInstance::acquire() { return lock_->tryLock(0); }

}  // namespace kf::ui

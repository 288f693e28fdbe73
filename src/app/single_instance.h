// One running copy per user: a lock file named after the old named mutex.
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>
#include <optional>

namespace kf::ui {

class Dialogs;

class SingleInstance {
public:
    enum class Claim {
        Acquired,
        HeldByAnother,  // a live copy holds the lock
        Unusable,       // the lock can be neither made nor read: whether a copy runs is unknown
    };

    // The lock lives in the user's runtime directory.
    SingleInstance();
    explicit SingleInstance(const QString& lockPath);
    // A lock left by a crashed copy is taken over.
    Claim acquire();
    QString path() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

// Claims the lock for this run. Empty to go on; otherwise the exit status, 0 when another copy
// runs (nothing shown), 1 after a box that says why the check could not be made.
std::optional<int> claimSingleInstance(SingleInstance& instance, Dialogs& dialogs);

}  // namespace kf::ui

// One running copy per user: the named mutex "MutexObjectKFG" on Windows, elsewhere a lock file
// of that name.
#pragma once

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

    // The lock lives in the user's runtime directory; the mutex in the user's session.
    SingleInstance();
    // A lock file's path, or a mutex's name on Windows.
    explicit SingleInstance(const QString& where);
    ~SingleInstance();
    // A lock left by a crashed copy is taken over.
    Claim acquire();
    QString path() const { return path_; }

private:
    struct Held;
    QString path_;
    std::unique_ptr<Held> held_;
};

// Claims the lock for this run. Empty to go on; otherwise the exit status, 0 when another copy
// runs (nothing shown), 1 after a box that says why the check could not be made.
std::optional<int> claimSingleInstance(SingleInstance& instance, Dialogs& dialogs);

}  // namespace kf::ui

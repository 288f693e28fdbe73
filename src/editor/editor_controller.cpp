#include "editor/editor_controller.h"

#include <QCoreApplication>
#include <algorithm>
#include <utility>

namespace kf::ui {

EditorController::EditorController(ModuleLine line)
    : x_(std::move(line), [this](int note) {
          // Heard on the input's thread; the selection is the window's.
          QMetaObject::invokeMethod(this, [this, note] { selection_.followKey(note); }, Qt::QueuedConnection);
      }) {
    x_.guard = this;
}

EditorController::~EditorController() = default;

void EditorController::setResponsiveness(std::function<void()> keepResponsive, std::function<void(bool)> showBusy) {
    x_.keepResponsive = std::move(keepResponsive);
    x_.showBusy = std::move(showBusy);
}

void EditorController::setOptions(const Options& options) {
    Options& now = x_.state.options;
    const bool synthChanged =
        !synthConfigured_ || options.soundFont != now.soundFont || options.audioDriver != now.audioDriver;
    const PartSends before = x_.partSends();
    now = options;
    // New sends are heard at once; before the port opens they go with its set-up instead.
    if (x_.session.preview() && x_.session.outputOpen())
        for (const MidiBytes& m : partSendChanges(before, x_.partSends())) x_.session.sendShort(m);
    x_.session.setPacing({options.unlimitedSpeed, std::chrono::milliseconds(options.sysexPauseMs)});
    if (synthChanged && synthSetup) {
        x_.session.configureOutput(synthSetup(options.soundFont, options.audioDriver));
        synthConfigured_ = true;
    }
}

void EditorController::setTables(ReferenceTables tables, int useMap) {
    x_.state.tables = std::move(tables);
    x_.state.options.useMap = useMap;
}

void EditorController::setVelocity(int velocity) {
    const int v = std::clamp(velocity, 0, 127);
    if (v == x_.state.velocity) return;
    x_.state.velocity = v;
    x_.notify([v](EditorObserver& o) { o.velocityChanged(v); });
}

}  // namespace kf::ui

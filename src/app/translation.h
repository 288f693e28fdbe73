// Qt's own Japanese translation, so the standard buttons and dialogs (Yes, Cancel, Open, Save
// As, "already exists") speak Japanese like the rest of the program.
#pragma once

class QCoreApplication;

namespace kf::ui {

// Loads qtbase_ja from Qt's translations directory; false when it is not installed.
bool installQtTranslation(QCoreApplication& app);

}  // namespace kf::ui

#pragma once

class QCoreApplication;

namespace korva::gui {

// Makes Qt's own texts (the file chooser, the buttons of the message boxes) Italian like the
// rest of the program. Without the translations installed they stay as Qt ships them.
void installaTraduzioniQt(QCoreApplication& app);

}  // namespace korva::gui

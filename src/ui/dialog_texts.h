#pragma once

#include <QTranslator>

namespace nvx {

// Russian texts for the parts of Qt's own save dialog that Qt 6.4 ships
// untranslated ("File name", "Filter"), used where the desktop offers no
// dialog of its own. Everything else falls through to Qt's translations.
class DialogTexts : public QTranslator {
    Q_OBJECT

public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override { return false; }
};

// Installs Qt's own Russian translations (where installed) and the dialog
// texts above into the running application.
void installRussianTexts();

}  // namespace nvx

#include "dialog_texts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

namespace nvx {

QString DialogTexts::translate(const char* context, const char* sourceText, const char*, int) const {
    if (qstrcmp(context, "FileDialog") != 0) return {};
    if (qstrcmp(sourceText, "File name") == 0) return QStringLiteral("Имя файла");
    if (qstrcmp(sourceText, "Filter") == 0) return QStringLiteral("Тип файла");
    return {};
}

void installRussianTexts() {
    auto* application = QCoreApplication::instance();
    // The application speaks Russian whatever the system's language is.
    auto* qt = new QTranslator(application);
    if (qt->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qt"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
    // Installed last, so asked first.
    QCoreApplication::installTranslator(new DialogTexts(application));
}

}  // namespace nvx

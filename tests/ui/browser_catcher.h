#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

namespace nvx::testing {

// Stands in for the browser while it lives: records every web address the
// window asks the desktop to open.
class BrowserCatcher : public QObject {
    Q_OBJECT

public:
    BrowserCatcher() {
        QDesktopServices::setUrlHandler("http", this, "open");
        QDesktopServices::setUrlHandler("https", this, "open");
    }
    ~BrowserCatcher() override {
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("https");
    }

    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

}  // namespace nvx::testing

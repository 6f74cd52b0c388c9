#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QList>
#include <QRect>
#include <QString>

#include <optional>

namespace nvx::testing {

// One element of an application's accessibility tree as assistive
// technology sees it over AT-SPI.
struct AccessibleNode {
    QString service;
    QDBusObjectPath path;
    QString role;  // AT-SPI's role name: "push button", "text", "link", ...
    QString name;
    QRect extents;  // on the screen
    bool showing = false;
    bool focused = false;
    bool checked = false;
    bool enabled = false;
};

// Reads the accessibility tree of the applications on a desktop session's
// accessibility bus, the way a screen reader does.
class AccessibilityTree {
public:
    // Connects to the accessibility bus announced on the session bus at
    // `sessionBusAddress`.
    explicit AccessibilityTree(const QString& sessionBusAddress);
    ~AccessibilityTree();

    bool connected() const { return bus_.has_value() && bus_->isConnected(); }

    // Every showing element of the application named `application`; empty
    // while it has not registered.
    QList<AccessibleNode> showing(const QString& application) const;
    // The first showing element with this role and name.
    std::optional<AccessibleNode> find(const QString& application, const QString& role, const QString& name) const;
    // The text of a text element.
    QString text(const AccessibleNode& node) const;

private:
    void collect(const QString& service, const QDBusObjectPath& path, QList<AccessibleNode>& into, int depth) const;

    QString sessionName_;
    QString busName_;
    std::optional<QDBusConnection> bus_;
};

}  // namespace nvx::testing

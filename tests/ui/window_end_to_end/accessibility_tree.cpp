#include "accessibility_tree.h"

#include <QDBusArgument>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDBusVariant>
#include <QUuid>

namespace nvx::testing {

namespace {

const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");

// AT-SPI's reference to an element: (bus name, object path).
struct Reference {
    QString service;
    QDBusObjectPath path;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Reference& reference) {
    argument.beginStructure();
    argument << reference.service << reference.path;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Reference& reference) {
    argument.beginStructure();
    argument >> reference.service >> reference.path;
    argument.endStructure();
    return argument;
}

// Bits of AT-SPI's state set (two 32-bit words).
constexpr int stateChecked = 4;
constexpr int stateEnabled = 8;
constexpr int stateFocused = 12;
constexpr int stateShowing = 25;

bool hasState(const QList<uint>& words, int state) {
    const int word = state / 32;
    return word < words.size() && (words[word] >> (state % 32)) & 1u;
}

}  // namespace

}  // namespace nvx::testing

Q_DECLARE_METATYPE(nvx::testing::Reference)

namespace nvx::testing {

AccessibilityTree::AccessibilityTree(const QString& sessionBusAddress) {
    qDBusRegisterMetaType<Reference>();
    qDBusRegisterMetaType<QList<Reference>>();
    sessionName_ = "nvx-session-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QDBusConnection session = QDBusConnection::connectToBus(sessionBusAddress, sessionName_);
    if (!session.isConnected()) return;
    QDBusInterface launcher("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", session);
    const QDBusReply<QString> address = launcher.call("GetAddress");
    if (!address.isValid()) return;
    busName_ = "nvx-a11y-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bus_ = QDBusConnection::connectToBus(address.value(), busName_);
}

AccessibilityTree::~AccessibilityTree() {
    if (!busName_.isEmpty()) QDBusConnection::disconnectFromBus(busName_);
    QDBusConnection::disconnectFromBus(sessionName_);
}

void AccessibilityTree::collect(const QString& service, const QDBusObjectPath& path, QList<AccessibleNode>& into,
                                int depth) const {
    if (depth > 40) return;
    QDBusInterface element(service, path.path(), accessibleInterface, *bus_);
    const QDBusReply<QList<uint>> state = element.call("GetState");
    if (!state.isValid()) return;
    AccessibleNode node;
    node.service = service;
    node.path = path;
    node.showing = hasState(state.value(), stateShowing);
    node.focused = hasState(state.value(), stateFocused);
    node.checked = hasState(state.value(), stateChecked);
    node.enabled = hasState(state.value(), stateEnabled);
    if (!node.showing && depth > 1) return;  // nothing below a hidden element shows
    node.role = QDBusReply<QString>(element.call("GetRoleName")).value();
    QDBusInterface properties(service, path.path(), "org.freedesktop.DBus.Properties", *bus_);
    const QDBusReply<QDBusVariant> name = properties.call("Get", accessibleInterface, "Name");
    node.name = name.isValid() ? name.value().variant().toString() : QString();
    QDBusInterface component(service, path.path(), "org.a11y.atspi.Component", *bus_);
    const QDBusMessage extents = component.call("GetExtents", uint(0));  // screen coordinates
    if (extents.type() == QDBusMessage::ReplyMessage && !extents.arguments().isEmpty()) {
        const QDBusArgument box = extents.arguments().first().value<QDBusArgument>();
        int x = 0, y = 0, width = 0, height = 0;
        box.beginStructure();
        box >> x >> y >> width >> height;
        box.endStructure();
        node.extents = QRect(x, y, width, height);
    }
    if (node.showing) into << node;
    const QDBusReply<QList<Reference>> children = element.call("GetChildren");
    if (!children.isValid()) return;
    for (const Reference& child : children.value()) collect(child.service, child.path, into, depth + 1);
}

QList<AccessibleNode> AccessibilityTree::showing(const QString& application) const {
    QList<AccessibleNode> nodes;
    if (!connected()) return nodes;
    QDBusInterface registry("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root", accessibleInterface, *bus_);
    const QDBusReply<QList<Reference>> applications = registry.call("GetChildren");
    if (!applications.isValid()) return nodes;
    for (const Reference& app : applications.value()) {
        QDBusInterface properties(app.service, app.path.path(), "org.freedesktop.DBus.Properties", *bus_);
        const QDBusReply<QDBusVariant> name = properties.call("Get", accessibleInterface, "Name");
        if (name.isValid() && name.value().variant().toString() == application) {
            collect(app.service, app.path, nodes, 0);
        }
    }
    return nodes;
}

std::optional<AccessibleNode> AccessibilityTree::find(const QString& application, const QString& role,
                                                      const QString& name) const {
    for (const AccessibleNode& node : showing(application))
        if (node.role == role && node.name == name) return node;
    return std::nullopt;
}

QString AccessibilityTree::text(const AccessibleNode& node) const {
    QDBusInterface text(node.service, node.path.path(), "org.a11y.atspi.Text", *bus_);
    return QDBusReply<QString>(text.call("GetText", 0, -1)).value();
}

}  // namespace nvx::testing

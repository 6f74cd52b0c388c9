#include <QLocale>
#include <QTest>

#include <memory>

#include "qml_snippet.h"
#include "test_case.h"

namespace nvx::testing {

class InventoryValueViewTests : public WindowTestCase {
    Q_OBJECT

private slots:
    void objectsAreRowsInKeyOrderWithTheDeviceNameFirst() {
        QmlSnippet view(R"(InventoryValueView {
            depth: 0
            value: ({"b_size": 1234.5, "_name": "Диск", "a_ok": true, "c_gone": null,
                     "d_list": [], "e_empty": {}, "f_items": ["x", "y"], "g_off": false})
        })");
        QVERIFY(view.root());
        // A text edit reports a no-break space as a plain one.
        QStringList texts = view.texts();
        texts.replaceInStrings(QChar(0x00a0), " ");
        const QStringList expected = {"Устройство", "Диск", "a_ok", "Да", "b_size", "1" + QLocale().groupSeparator().replace(QChar(0x00a0), " ") + "234,5",
                                      "c_gone", "Нет данных", "d_list", "macOS вернула пустой раздел", "e_empty",
                                      "f_items", "x", "y", "g_off", "Нет"};
        QCOMPARE(texts, expected);
    }

    void labelColumnsNarrowFromDepthTwo() {
        QmlSnippet view(R"(InventoryValueView { depth: 1; value: ({"k": {"inner": "v"}}) })");
        QVERIFY(view.root());
        QQuickItem* outer = nullptr;
        QQuickItem* inner = nullptr;
        std::function<void(QQuickItem*)> find = [&](QQuickItem* item) {
            if (item->property("text").toString() == "k") outer = item;
            if (item->property("text").toString() == "inner") inner = item;
            for (QQuickItem* child : item->childItems()) find(child);
        };
        find(view.root());
        QVERIFY(outer && inner);
        QCOMPARE(outer->width(), 190.0);
        QCOMPARE(inner->width(), 150.0);
    }

    void descentStopsAtDepthSix() {
        QmlSnippet view(R"(InventoryValueView {
            depth: 0
            value: ({"l0": {"l1": {"l2": {"l3": {"l4": {"l5": {"l6": {"l7": "deep"}}}}}}},
                     "list": [[[[[[["a"]]]]]]]})
        })");
        QVERIFY(view.root());
        const QStringList texts = view.texts();
        QVERIFY(texts.contains("l6"));   // an object at depth 6 shows its labels
        QVERIFY(!texts.contains("l7"));  // but not their values
        QVERIFY(!texts.contains("a"));   // an array at depth 6 shows no entries
    }
};

}  // namespace nvx::testing

#include "inventory_value_view_tests.moc"

std::unique_ptr<QObject> makeInventoryValueViewTests() {
    return std::make_unique<nvx::testing::InventoryValueViewTests>();
}

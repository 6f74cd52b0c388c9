#include "inventory_sections.h"

#include <QVariantMap>

#include "inventory/collector.h"

namespace nvx {

QVariantList inventorySectionsForQml() {
    QVariantList sections;
    for (const auto& [key, title] : Collector::sections) {
        sections.append(QVariantMap{{QStringLiteral("key"), QString::fromStdString(key)},
                                    {QStringLiteral("title"), QString::fromStdString(title)}});
    }
    return sections;
}

}  // namespace nvx

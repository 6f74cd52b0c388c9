#include "model_image_index.h"

#include <QStringList>

namespace nvx::drawing {

namespace {

struct Family {
    const char* file;
    QStringList identifiers;
};

// Identifiers by family. Laptops and all-in-ones of the Intel era are
// included too: a report from an older machine should still get a picture.
const Family families[] = {
    {"laptop.png",
     {"MacBookAir8,1", "MacBookAir8,2", "MacBookAir9,1", "MacBookAir10,1", "Mac14,2", "Mac14,15",
      "Mac15,12", "Mac15,13", "Mac16,12", "Mac16,13", "MacBookPro15,1", "MacBookPro15,2",
      "MacBookPro15,3", "MacBookPro15,4", "MacBookPro16,1", "MacBookPro16,2", "MacBookPro16,3",
      "MacBookPro16,4", "MacBookPro17,1", "MacBookPro18,1", "MacBookPro18,2", "MacBookPro18,3",
      "MacBookPro18,4", "Mac14,5", "Mac14,6", "Mac14,7", "Mac14,9", "Mac14,10", "Mac15,3",
      "Mac15,6", "Mac15,7", "Mac15,8", "Mac15,9", "Mac15,10", "Mac15,11", "Mac16,1", "Mac16,5",
      "Mac16,6", "Mac16,7", "Mac16,8"}},
    {"all-in-one.png",
     {"iMac19,1", "iMac19,2", "iMac20,1", "iMac20,2", "iMacPro1,1", "iMac21,1", "iMac21,2", "Mac15,4",
      "Mac15,5", "Mac16,2", "Mac16,3"}},
    {"mini.png", {"Macmini8,1", "Macmini9,1", "Mac14,3", "Mac14,12", "Mac16,10", "Mac16,11"}},
    {"tower.png", {"MacPro7,1", "Mac14,8"}},
    {"studio.png", {"Mac13,1", "Mac13,2", "Mac14,13", "Mac14,14", "Mac15,14", "Mac16,9"}},
};

}  // namespace

QJsonObject modelImageIndex() {
    QJsonObject images;
    for (const auto& family : families) {
        for (const auto& identifier : family.identifiers) {
            images.insert(identifier, QJsonObject{{"path", QStringLiteral("device-images/") + family.file},
                                                  {"source", QStringLiteral("Иллюстрация NVX")}});
        }
    }
    return QJsonObject{{"images", images}};
}

}  // namespace nvx::drawing

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "test_case.h"
#include "ui/model_picture_index.h"

namespace nvx {

namespace {

// A resource folder with one picture, "laptop.png", and the given index.
struct PictureResources {
    QTemporaryDir folder;

    explicit PictureResources(const QByteArray& index) {
        QDir(folder.path()).mkpath("device-images");
        QImage picture(8, 6, QImage::Format_ARGB32);
        picture.fill(Qt::gray);
        picture.save(folder.filePath("device-images/laptop.png"));
        QFile file(folder.filePath("model-images.json"));
        if (file.open(QIODevice::WriteOnly)) file.write(index);
    }
    std::filesystem::path path() const { return folder.path().toStdString(); }
};

const QByteArray index = R"({"images": {
    "MacBookAir10,1": {"path": "somewhere/deep/laptop.png"},
    "Mac14,7": {"path": "device-images/laptop.png", "source": "Иллюстрация NVX"},
    "Mac13,1": {"path": "device-images/studio.png"},
    "Mac14,3": {"path": 7}
}})";

}  // namespace

class ModelPictureTests : public nvx::testing::WindowTestCase {
    Q_OBJECT

private slots:
    void onlyTheFileNameOfThePathCounts() {
        PictureResources resources(index);
        const auto entry = lookupModelPicture("MacBookAir10,1", resources.path());
        QVERIFY(entry);
        QCOMPARE(entry->file, QString("laptop.png"));
        QVERIFY(entry->source.isEmpty());
    }

    void lookupsAreExactAndEveryGapGivesThePlaceholder() {
        PictureResources resources(index);
        QVERIFY(!lookupModelPicture("macbookair10,1", resources.path()));  // letter case
        QVERIFY(!lookupModelPicture("Mac13,1", resources.path()));         // file missing
        QVERIFY(!lookupModelPicture("Mac14,3", resources.path()));         // path not text
        QVERIFY(!lookupModelPicture("iMac21,1", resources.path()));        // not indexed
        QVERIFY(!lookupModelPicture("Mac14,7", {}));                       // no resources
        PictureResources broken("{\"images\": [1, 2]}");
        QVERIFY(!lookupModelPicture("Mac14,7", broken.path()));
        PictureResources mixed(R"({"images": {"Mac14,7": {"path": "laptop.png"}, "x": 3}})");
        QVERIFY(!lookupModelPicture("Mac14,7", mixed.path()));  // not an object of objects
    }

    void theCaptionNamesTheEntrysSourceOrApple() {
        PictureResources resources(index);
        qputenv("NVX_RESOURCE_DIR", QFile::encodeName(resources.folder.path()));
        ModelPictureSource source;
        source.setModel("Mac14,7");
        QCOMPARE(source.sourceLine(), QString("Источник: Иллюстрация NVX"));
        QVERIFY(source.imageUrl().toLocalFile().endsWith("/device-images/laptop.png"));
        source.setModel("MacBookAir10,1");
        QCOMPARE(source.sourceLine(), QString("Источник: Apple"));
        source.setModel("Mac13,1");
        QVERIFY(source.imageUrl().isEmpty());
        qunsetenv("NVX_RESOURCE_DIR");
    }

    void theBundledIndexPointsAtBundledPictures() {
        QFile file(NVX_SOURCE_RESOURCES "/model-images.json");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject images = QJsonDocument::fromJson(file.readAll()).object().value("images").toObject();
        QVERIFY(images.size() > 20);
        for (const auto& identifier : images.keys()) {
            const auto entry = lookupModelPicture(identifier, NVX_SOURCE_RESOURCES);
            QVERIFY2(entry, qPrintable(identifier));
            QCOMPARE(entry->source, QString("Иллюстрация NVX"));
        }
    }
};

}  // namespace nvx

#include "model_picture_tests.moc"

std::unique_ptr<QObject> makeModelPictureTests() { return std::make_unique<nvx::ModelPictureTests>(); }

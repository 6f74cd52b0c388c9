#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQuickItem>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "qml_snippet.h"
#include "test_case.h"
#include "ui/model_picture_index.h"

namespace nvx {

namespace {

// A resource folder with one picture, "laptop.png", and the given index.
struct PictureResources {
    QTemporaryDir folder;

    explicit PictureResources(const QByteArray& index) {
        QDir(folder.path()).mkpath("device-images");
        // Varied enough that the compressed data spans most of the file.
        QImage picture(64, 48, QImage::Format_ARGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, qRgb(x * 4, y * 5, (x * y) % 256));
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
        // A picture whose header is fine but whose data stops short.
        QFile picture(resources.folder.filePath("device-images/laptop.png"));
        QVERIFY(picture.open(QIODevice::ReadWrite));
        QVERIFY(picture.resize(picture.size() / 2));
        picture.close();
        QVERIFY(QImageReader(picture.fileName()).canRead());  // the header still reads
        QVERIFY(!lookupModelPicture("Mac14,7", resources.path()));
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

    void anUnreadablePictureShowsThePlaceholder() {
        PictureResources resources(index);
        QFile picture(resources.folder.filePath("device-images/laptop.png"));
        QVERIFY(picture.open(QIODevice::ReadWrite) && picture.resize(picture.size() / 2));
        picture.close();
        QDir(resources.folder.path()).mkpath("icons");
        QVERIFY(QFile::copy(NVX_SOURCE_RESOURCES "/icons/desktopcomputer-muted.png",
                            resources.folder.filePath("icons/desktopcomputer-muted.png")));
        qputenv("NVX_RESOURCE_DIR", QFile::encodeName(resources.folder.path()));
        const auto restore = qScopeGuard([] { qunsetenv("NVX_RESOURCE_DIR"); });
        testing::QmlSnippet view(R"(ModelPicture { model: "Mac14,7"; pictureWidth: 150 })");
        QVERIFY(view.root());
        QVERIFY(view.texts().contains("Иллюстрация устройства"));
        QVERIFY(!view.texts().contains("Изображение модели\nИсточник: Иллюстрация NVX"));
        const auto shown = [&](const char* name) {
            auto* item = view.root()->findChild<QQuickItem*>(name);
            return item && item->isVisible();
        };
        QVERIFY(shown("modelPlaceholder"));
        QVERIFY(!shown("modelImage"));
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

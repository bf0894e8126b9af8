// SPDX-License-Identifier: GPL-3.0-or-later
// The program's pictures and shipped sound files: the compiled-in pictures load with their sizes
// and colour depths, the button faces keep their tint and stay readable under a black caption,
// the station pictures and sound files are in the program folder in the forms the program reads.

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QXmlStreamReader>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <optional>

namespace {

const QString ProgramDir = QStringLiteral(VV_PROGRAM_DIR);

// The WCAG relative luminance of a colour, 0 (black) to 1 (white).
double luminance(QRgb rgb)
{
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb))
           + 0.0722 * channel(qBlue(rgb));
}

struct WaveInfo
{
    quint16 format = 0;
    quint16 channels = 0;
    quint32 sampleRate = 0;
    quint16 bitsPerSample = 0;
    QByteArray samples;
};

// Walks the RIFF chunks of a WAV file for its format and its sample data.
std::optional<WaveInfo> readWave(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = file.readAll();
    if (data.size() < 12 || !data.startsWith("RIFF") || data.mid(8, 4) != "WAVE")
        return std::nullopt;
    WaveInfo info;
    bool haveFormat = false;
    bool haveData = false;
    qsizetype at = 12;
    while (at + 8 <= data.size()) {
        const QByteArray id = data.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(data.constData() + at + 4);
        const qsizetype body = at + 8;
        if (body + qsizetype(size) > data.size())
            return std::nullopt;
        if (id == "fmt " && size >= 16) {
            const char *f = data.constData() + body;
            info.format = qFromLittleEndian<quint16>(f);
            info.channels = qFromLittleEndian<quint16>(f + 2);
            info.sampleRate = qFromLittleEndian<quint32>(f + 4);
            info.bitsPerSample = qFromLittleEndian<quint16>(f + 14);
            haveFormat = true;
        } else if (id == "data") {
            info.samples = data.mid(body, size);
            haveData = true;
        }
        at = body + size + (size & 1);
    }
    if (!haveFormat || !haveData)
        return std::nullopt;
    return info;
}

} // namespace

class TestArtwork : public QObject
{
    Q_OBJECT
private slots:
    void compiledPictures_data();
    void compiledPictures();
    void buttonFaces_data();
    void buttonFaces();
    void refusalFacesDiffer();
    void iconTheme();
    void stationPictures_data();
    void stationPictures();
    void soundFiles_data();
    void soundFiles();
    void tune();
};

void TestArtwork::compiledPictures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("maxColours");
    for (int n = 1; n <= 5; ++n) {
        const QString path = QStringLiteral(":/images/ImageList1_%1.png").arg(n);
        QTest::newRow(qPrintable(path)) << path << QSize(319, 256) << 256;
    }
    for (int n = 1; n <= 4; ++n) {
        const QString path = QStringLiteral(":/images/ImageList2_%1.png").arg(n);
        QTest::newRow(qPrintable(path)) << path << QSize(32, 32) << 16;
    }
    QTest::newRow("icon") << QStringLiteral(":/images/voicevocta.png") << QSize(32, 32) << 16;
}

void TestArtwork::compiledPictures()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(int, maxColours);

    const QPixmap pixmap(path);
    QVERIFY2(!pixmap.isNull(), qPrintable(path + QStringLiteral(" is not compiled in")));
    QCOMPARE(pixmap.size(), size);

    const QImage image(path);
    QCOMPARE(image.format(), QImage::Format_Indexed8);
    QVERIFY(image.colorCount() > 0);
    QVERIFY(image.colorCount() <= maxColours);
}

void TestArtwork::iconTheme()
{
    // The desktop's icon theme: the program icon at each size, the same picture at each.
    const QString theme = QStringLiteral(VV_ICON_THEME_DIR);
    const QImage designed
        = QImage(QStringLiteral(":/images/voicevocta.png")).convertToFormat(QImage::Format_ARGB32);
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString path = theme + QStringLiteral("/%1x%1/apps/voicevocta.png").arg(size);
        const QImage icon = QImage(path).convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(!icon.isNull(), qPrintable(path));
        QCOMPARE(icon.size(), QSize(size, size));
        // Both brought down to 16 x 16, it looks like the designed icon: the same colours in
        // mostly the same places (smoothed edges differ).
        const auto coarse = [](const QImage &image) {
            return image.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        };
        const QImage a = coarse(icon), b = coarse(designed);
        int alike = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                alike += std::abs(qAlpha(p) - qAlpha(q)) < 64
                         && (qAlpha(q) < 64
                             || std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q))
                                        + std::abs(qBlue(p) - qBlue(q))
                                    < 96);
            }
        QVERIFY2(alike >= 16 * 16 * 3 / 4, qPrintable(path + QStringLiteral(": %1").arg(alike)));
    }

    QFile svg(theme + QStringLiteral("/scalable/apps/voicevocta.svg"));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    int shapes = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("svg"))
            QCOMPARE(xml.attributes().value(QLatin1String("viewBox")), QLatin1String("0 0 32 32"));
        else
            ++shapes;
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(shapes > 20);
}

void TestArtwork::buttonFaces_data()
{
    QTest::addColumn<int>("face");
    QTest::addColumn<QRgb>("main");
    QTest::addColumn<QRgb>("dark");
    QTest::addColumn<QRgb>("light");
    QTest::newRow("1 blue") << 1 << qRgb(0x99, 0x99, 0xff) << qRgb(0x66, 0x66, 0xff)
                            << qRgb(0xcc, 0xcc, 0xff);
    QTest::newRow("2 red") << 2 << qRgb(0xff, 0x99, 0x99) << qRgb(0xff, 0x66, 0x66)
                           << qRgb(0xff, 0xcc, 0xcc);
    QTest::newRow("3 green") << 3 << qRgb(0x99, 0xff, 0x99) << qRgb(0x66, 0xff, 0x66)
                             << qRgb(0xcc, 0xff, 0xcc);
    QTest::newRow("4 yellow") << 4 << qRgb(0xff, 0xff, 0x99) << qRgb(0xff, 0xff, 0x66)
                              << qRgb(0xff, 0xff, 0xcc);
    QTest::newRow("5 orange") << 5 << qRgb(0xff, 0xcc, 0x99) << qRgb(0xff, 0x99, 0x66)
                              << qRgb(0xff, 0xcc, 0xcc);
}

void TestArtwork::buttonFaces()
{
    QFETCH(int, face);
    QFETCH(QRgb, main);
    QFETCH(QRgb, dark);
    QFETCH(QRgb, light);

    const QImage image = QImage(QStringLiteral(":/images/ImageList1_%1.png").arg(face))
                             .convertToFormat(QImage::Format_RGB32);
    QVERIFY(!image.isNull());

    qint64 mains = 0;
    qint64 darks = 0;
    qint64 lights = 0;
    double darkest = 1.0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x] | 0xff000000;
            mains += pixel == main;
            darks += pixel == dark;
            lights += pixel == light;
            darkest = std::min(darkest, luminance(pixel));
        }
    }
    const double all = double(image.width()) * image.height();
    // The main shade covers about three quarters; both band shades show.
    QVERIFY2(mains / all > 0.70 && mains / all < 0.80, qPrintable(QString::number(mains / all)));
    QVERIFY2(darks / all > 0.05, qPrintable(QString::number(darks / all)));
    QVERIFY2(lights / all > 0.05, qPrintable(QString::number(lights / all)));
    // A black caption keeps a contrast of at least 4.5 : 1 on every pixel of the face.
    QVERIFY2((darkest + 0.05) / 0.05 >= 4.5, qPrintable(QString::number(darkest)));
}

void TestArtwork::refusalFacesDiffer()
{
    QList<QImage> poses;
    for (int n = 1; n <= 4; ++n) {
        const QImage pose = QImage(QStringLiteral(":/images/ImageList2_%1.png").arg(n))
                                .convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!pose.isNull());
        // A face on a clear background: a good part drawn, the corners see-through.
        int opaque = 0;
        for (int y = 0; y < pose.height(); ++y) {
            for (int x = 0; x < pose.width(); ++x)
                opaque += qAlpha(pose.pixel(x, y)) == 255;
        }
        QVERIFY2(opaque > 32 * 32 / 4, qPrintable(QString::number(opaque)));
        QCOMPARE(qAlpha(pose.pixel(0, 0)), 0);
        for (const QImage &other : std::as_const(poses))
            QVERIFY(pose != other);
        poses.append(pose);
    }
}

void TestArtwork::stationPictures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("red");
    QTest::newRow("on the air") << QStringLiteral("ontheair.bmp") << true;
    QTest::newRow("receive") << QStringLiteral("receive.bmp") << false;
}

void TestArtwork::stationPictures()
{
    QFETCH(QString, name);
    QFETCH(bool, red);

    // Where the program looks for them: the Images folder beside it.
    const QString path = ProgramDir + QStringLiteral("/Images/") + name;
    QVERIFY2(QFile::exists(path), qPrintable(path));
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("bmp"));
    const QImage image = reader.read().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(image.size(), QSize(169, 73));

    // The on-air sign is red and the receive sign green, not the other way round.
    int reds = 0;
    int greens = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            reds += qRed(pixel) - std::max(qGreen(pixel), qBlue(pixel)) > 64;
            greens += qGreen(pixel) - std::max(qRed(pixel), qBlue(pixel)) > 64;
        }
    }
    const int area = image.width() * image.height();
    QVERIFY2((red ? reds : greens) > area / 3, qPrintable(QString::number(red ? reds : greens)));
    QCOMPARE(red ? greens : reds, 0);
}

void TestArtwork::soundFiles_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"Default.wav", "1.wav", "2.wav", "3.wav", "4.wav", "5.wav", "6.wav"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestArtwork::soundFiles()
{
    QFETCH(QString, name);

    const QString path = ProgramDir + QStringLiteral("/Wav/") + name;
    const std::optional<WaveInfo> wave = readWave(path);
    QVERIFY2(wave, qPrintable(path + QStringLiteral(" is missing or no WAV file")));
    QCOMPARE(wave->format, quint16(1)); // PCM
    QCOMPARE(wave->channels, quint16(1));
    QCOMPARE(wave->sampleRate, quint32(22050));
    QCOMPARE(wave->bitsPerSample, quint16(16));

    const qsizetype count = wave->samples.size() / 2;
    const double seconds = double(count) / wave->sampleRate;
    QVERIFY2(seconds >= 1.0 && seconds <= 5.0, qPrintable(QString::number(seconds)));

    // Loud enough to drive a transmitter, never clipped: the peak lies near -3 dBFS.
    int peak = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const int sample = qFromLittleEndian<qint16>(wave->samples.constData() + 2 * i);
        peak = std::max(peak, std::abs(sample));
    }
    const double peakDb = 20.0 * std::log10(std::max(peak, 1) / 32768.0);
    QVERIFY2(peakDb > -4.0 && peakDb < -2.0, qPrintable(QString::number(peakDb)));
}

void TestArtwork::tune()
{
    QFile file(ProgramDir + QStringLiteral("/Wav/tune.mid"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    QVERIFY(data.startsWith("MThd"));
    QVERIFY(data.indexOf("MTrk") == 14);
}

QTEST_MAIN(TestArtwork)
#include "tst_artwork.moc"

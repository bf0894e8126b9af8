// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the program's pictures. Run by the build:
//
//   vv_artgen PICTURE_DIR STATION_DIR [--icon-theme DIR] [--sheet FILE]
//
// PICTURE_DIR receives the pictures compiled into the program (ImageList1_1.png ...
// ImageList1_5.png, ImageList2_1.png ... ImageList2_4.png, voicevocta.png), STATION_DIR the
// station pictures read at run time (ontheair.bmp, receive.bmp). --icon-theme writes the program
// icon for the desktop's icon theme: DIR/NxN/apps/voicevocta.png for each size of
// IconThemeSizes and DIR/scalable/apps/voicevocta.svg. --sheet also writes a preview of
// everything, enlarged, for checking the artwork by eye. The output is the same, byte for byte,
// on every run.

#include "images/generator/ButtonFaces.h"
#include "images/generator/ContactSheet.h"
#include "images/generator/ProgramIcon.h"
#include "images/generator/RefusalFaces.h"
#include "images/generator/StationSigns.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>
#include <QTextStream>

namespace {

// The sizes of the icon theme's pictures, in pixels.
constexpr int IconThemeSizes[] = {16, 32, 48, 64, 128, 256};

// Takes "--name VALUE" out of `args`; false when the value is missing.
bool takeOption(QStringList &args, const QString &name, QString &value, QTextStream &err)
{
    const qsizetype at = args.indexOf(name);
    if (at < 0)
        return true;
    if (at + 1 >= args.size()) {
        err << "vv_artgen: " << name << " needs a value\n";
        return false;
    }
    value = args.at(at + 1);
    args.remove(at, 2);
    return true;
}

bool save(const QImage &image, const QString &path, QTextStream &err)
{
    QImageWriter writer(path);
    if (image.isNull() || !writer.write(image)) {
        err << "vv_artgen: cannot write " << path << ": " << writer.errorString() << '\n';
        return false;
    }
    return true;
}

bool saveBytes(const QByteArray &bytes, const QString &path, QTextStream &err)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()
        || !file.flush()) {
        err << "vv_artgen: cannot write " << path << ": " << file.errorString() << '\n';
        return false;
    }
    return true;
}

// The program icon in the layout of a freedesktop icon theme.
bool saveIconTheme(const QDir &theme, QTextStream &err)
{
    bool ok = true;
    for (int size : IconThemeSizes) {
        const QString dir = theme.filePath(QStringLiteral("%1x%1/apps").arg(size));
        ok &= QDir().mkpath(dir);
        ok &= save(drawProgramIcon(size), dir + QStringLiteral("/voicevocta.png"), err);
    }
    const QString scalable = theme.filePath(QStringLiteral("scalable/apps"));
    ok &= QDir().mkpath(scalable);
    ok &= saveBytes(programIconSketch().svg(), scalable + QStringLiteral("/voicevocta.svg"), err);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    // The generator draws off screen; it needs no display wherever the build runs.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);

    QStringList args = app.arguments().mid(1);
    QString sheetPath;
    QString themePath;
    if (!takeOption(args, QStringLiteral("--sheet"), sheetPath, err)
        || !takeOption(args, QStringLiteral("--icon-theme"), themePath, err))
        return 2;
    if (args.size() != 2) {
        err << "usage: vv_artgen PICTURE_DIR STATION_DIR [--icon-theme DIR] [--sheet FILE]\n";
        return 2;
    }
    const QDir pictureDir(args.at(0));
    const QDir stationDir(args.at(1));
    for (const QDir &dir : {pictureDir, stationDir}) {
        if (!QDir().mkpath(dir.path())) {
            err << "vv_artgen: cannot create " << dir.path() << '\n';
            return 1;
        }
    }

    bool ok = true;
    QList<QImage> faces;
    const QList<FaceShades> shades = buttonFaceShades();
    for (int n = 1; n <= shades.size(); ++n) {
        faces.append(drawButtonFace(shades.at(n - 1)));
        ok &= save(faces.last(), pictureDir.filePath(QStringLiteral("ImageList1_%1.png").arg(n)),
                   err);
    }
    QList<QImage> refusalFaces;
    for (int n = 1; n <= RefusalPoseCount; ++n) {
        refusalFaces.append(drawRefusalFace(n));
        ok &= save(refusalFaces.last(),
                   pictureDir.filePath(QStringLiteral("ImageList2_%1.png").arg(n)), err);
    }
    const QImage icon = drawProgramIcon();
    ok &= save(icon, pictureDir.filePath(QStringLiteral("voicevocta.png")), err);

    const QFont font = signFont();
    const QList<QImage> signs{drawOnTheAirSign(font), drawReceiveSign(font)};
    ok &= save(signs.at(0), stationDir.filePath(QStringLiteral("ontheair.bmp")), err);
    ok &= save(signs.at(1), stationDir.filePath(QStringLiteral("receive.bmp")), err);

    if (!themePath.isEmpty())
        ok &= saveIconTheme(QDir(themePath), err);
    if (!sheetPath.isEmpty())
        ok &= save(drawContactSheet(faces, refusalFaces, icon, signs), sheetPath, err);
    return ok ? 0 : 1;
}

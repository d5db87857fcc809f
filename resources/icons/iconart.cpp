// Draws the seven file-type icons and the program's own icon: a light tile
// with cut corners on a dark grey square, the pictogram in the same dark grey.
// The program's icon (a radio receiver) is drawn on the same 16-pixel grid and
// enlarged pixel for pixel into the hicolor theme's sizes. Run it to retake
// the PNGs:
//   spiffs-icon-art resources/icons
#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtGui/QImage>

#include <array>
#include <cstdio>

namespace {

constexpr int Side = 16;
const QRgb Dark = qRgba(0x40, 0x40, 0x40, 0xFF);
const QRgb Light = qRgba(0xE4, 0xE4, 0xE4, 0xFF);

using Pictogram = std::array<const char *, Side>; // '#' marks a dark pixel

struct Icon
{
    const char *fileName;
    Pictogram pictogram;
};

const Icon icons[] = {
    {"text.png", {{"                ",
                   "                ",
                   "    ######      ",
                   "    #    ##     ",
                   "    #    # #    ",
                   "    #    ####   ",
                   "    # ###   #   ",
                   "    #       #   ",
                   "    # ##### #   ",
                   "    #       #   ",
                   "    # ##### #   ",
                   "    #       #   ",
                   "    #########   ",
                   "                ",
                   "                ",
                   "                "}}},
    {"picture.png", {{"                ",
                      "                ",
                      "                ",
                      "  ############  ",
                      "  #          #  ",
                      "  #       ## #  ",
                      "  #       ## #  ",
                      "  #   #      #  ",
                      "  #  ###     #  ",
                      "  # ##### #  #  ",
                      "  ######### ##  ",
                      "  ############  ",
                      "                ",
                      "                ",
                      "                ",
                      "                "}}},
    {"music.png", {{"                ",
                    "                ",
                    "                ",
                    "      #######   ",
                    "      #######   ",
                    "      #     #   ",
                    "      #     #   ",
                    "      #     #   ",
                    "      #     #   ",
                    "    ###   ###   ",
                    "   ####  ####   ",
                    "   ####  ####   ",
                    "    ##    ##    ",
                    "                ",
                    "                ",
                    "                "}}},
    {"engine.png", {{"                ",
                     "                ",
                     "       ##       ",
                     "    #  ##  #    ",
                     "   ### ## ###   ",
                     "    ########    ",
                     "    ###  ###    ",
                     "  ####    ####  ",
                     "  ####    ####  ",
                     "    ###  ###    ",
                     "    ########    ",
                     "   ### ## ###   ",
                     "    #  ##  #    ",
                     "       ##       ",
                     "                ",
                     "                "}}},
    {"world.png", {{"                ",
                    "                ",
                    "      ####      ",
                    "    ## ## ##    ",
                    "   #  #  #  #   ",
                    "   #  #  #  #   ",
                    "  ############  ",
                    "  #   #  #   #  ",
                    "  #   #  #   #  ",
                    "  ############  ",
                    "   #  #  #  #   ",
                    "   #  #  #  #   ",
                    "    ## ## ##    ",
                    "      ####      ",
                    "                ",
                    "                "}}},
    {"wifi.png", {{"                ",
                   "                ",
                   "                ",
                   "    ########    ",
                   "   #        #   ",
                   "  #  ######  #  ",
                   "    #      #    ",
                   "   #  ####  #   ",
                   "     #    #     ",
                   "      #  #      ",
                   "                ",
                   "       ##       ",
                   "       ##       ",
                   "                ",
                   "                ",
                   "                "}}},
    {"unknown.png", {{"                ",
                      "                ",
                      "     ######     ",
                      "    #      #    ",
                      "   #        #   ",
                      "  #  ##  ##  #  ",
                      "  #  ##  ##  #  ",
                      "  #          #  ",
                      "  #          #  ",
                      "  #   ####   #  ",
                      "   #        #   ",
                      "    #      #    ",
                      "     ######     ",
                      "                ",
                      "                ",
                      "                "}}},
};

// The program's icon, installed as hicolor/SIZExSIZE/apps/spiffs-manager.png.
const Icon appIcon = {"spiffs-manager.png", {{"                ",
                                              "                ",
                                              "             #  ",
                                              "            #   ",
                                              "           #    ",
                                              "  ############  ",
                                              "  #          #  ",
                                              "  # # # #### #  ",
                                              "  #  #  # ## #  ",
                                              "  # # # #### #  ",
                                              "  #  #       #  ",
                                              "  # # # ## # #  ",
                                              "  #          #  ",
                                              "  ############  ",
                                              "                ",
                                              "                "}}};
const int appIconSizes[] = {16, 32, 48, 64, 128, 256};

bool onTile(int x, int y)
{
    const bool inside = x >= 1 && x <= Side - 2 && y >= 1 && y <= Side - 2;
    const bool corner = (x == 1 || x == Side - 2) && (y == 1 || y == Side - 2);
    return inside && !corner;
}

QImage draw(const Pictogram &pictogram)
{
    QImage image(Side, Side, QImage::Format_ARGB32);
    for (int y = 0; y < Side; ++y) {
        Q_ASSERT(qstrlen(pictogram[y]) == Side);
        for (int x = 0; x < Side; ++x) {
            const bool mark = pictogram[y][x] == '#';
            image.setPixel(x, y, onTile(x, y) && !mark ? Light : Dark);
        }
    }
    return image;
}

bool rowsComplete(const Icon &icon)
{
    for (const char *row : icon.pictogram) {
        if (qstrlen(row) != Side) {
            std::fprintf(stderr, "%s: every row must be %d pixels wide\n", icon.fileName, Side);
            return false;
        }
    }
    return true;
}

bool save(const QImage &image, const QString &path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !image.save(path, "PNG")) {
        std::fprintf(stderr, "can't write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (const Icon &icon : icons) {
        if (!rowsComplete(icon) || !save(draw(icon.pictogram), folder.filePath(QLatin1String(icon.fileName))))
            return 1;
    }

    if (!rowsComplete(appIcon))
        return 1;
    const QImage app = draw(appIcon.pictogram);
    for (int size : appIconSizes) {
        const QString path = folder.filePath(
                QStringLiteral("hicolor/%1x%1/apps/%2").arg(size).arg(QLatin1String(appIcon.fileName)));
        if (!save(app.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation), path))
            return 1;
    }
    return 0;
}

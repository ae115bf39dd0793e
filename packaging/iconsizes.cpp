// Build tool: the pizza seal as square hicolor icons of the sizes given.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: iconsizes <picture> <hicolor dir> <size>...\n");
        return 2;
    }
    const QImage seal(QString::fromLocal8Bit(argv[1]));
    if (seal.isNull()) {
        std::fprintf(stderr, "iconsizes: cannot read %s\n", argv[1]);
        return 1;
    }
    // The seal is wider than tall: centred on a clear square, not stretched.
    const int side = qMax(seal.width(), seal.height());
    QImage square(side, side, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    QPainter(&square).drawImage((side - seal.width()) / 2, (side - seal.height()) / 2, seal);
    for (int i = 3; i < argc; ++i) {
        const int size = atoi(argv[i]);
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        const QString path = dir + QStringLiteral("/trovanta-console.png");
        if (size <= 0 || !QDir().mkpath(dir)
            || !square.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation).save(path)) {
            std::fprintf(stderr, "iconsizes: cannot write the %s icon\n", argv[i]);
            return 1;
        }
    }
    return 0;
}

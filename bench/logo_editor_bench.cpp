// Logo editor benchmark on the offscreen platform. Prints:
//   canvas_redraw_us=     median time of a full redraw of a 96 x 96 grid at zoom 20, the whole surface on screen
//   import_4096_ms=       import of a 4096 x 4096 PNG into the edit panel followed by one redraw
//   import_4096_peak_mb=  the process's peak resident memory after that
// The PNG is drawn and encoded by a child run of this program, so its making does not count.

#include "screens/log_edit_panel.h"
#include "screens/log_editor.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRadialGradient>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A photo-like picture: a radial gradient with rings and a grid of lines, 4096 x 4096 RGB.
int MakePicture(const QString& path)
{
    QImage image(4096, 4096, QImage::Format_RGB32);
    QPainter painter(&image);
    QRadialGradient gradient(2048, 2048, 2600);
    gradient.setColorAt(0, QColor(20, 20, 40));
    gradient.setColorAt(1, QColor(250, 250, 255));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(QPen(Qt::white, 24));
    for (int r = 200; r < 2048; r += 300)
        painter.drawEllipse(QPoint(2048, 2048), r, r);
    painter.setPen(QPen(Qt::black, 8));
    for (int i = 0; i < 4096; i += 512) {
        painter.drawLine(i, 0, i, 4095);
        painter.drawLine(0, i, 4095, i);
    }
    painter.end();
    return image.save(path, "PNG") ? 0 : 1;
}

long PeakResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

double CanvasRedrawMedianUs()
{
    CLogEditor editor;
    nemora::MonoImage image(96, 96);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x)
            image.SetLit(x, y, (x * 7 + y * 13) % 3 == 0);
    editor.SetImage(image);
    editor.OnZoomTrack(20);
    const QRect surface = editor.SurfaceRect();
    editor.resize(surface.right() + 20, surface.bottom() + 20);
    editor.show();
    QApplication::processEvents();

    std::vector<double> times;
    for (int i = 0; i < 60; ++i) {
        const auto start = Clock::now();
        editor.DrawCanvas();
        editor.Surface()->repaint();
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    if (editor.LastPaintSize() != surface.size())
        std::fprintf(stderr, "the redraw painted %dx%d, not the whole surface\n", editor.LastPaintSize().width(),
                     editor.LastPaintSize().height());
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--make-picture") {
        QGuiApplication app(argc, argv);
        return MakePicture(argv[2]);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString picture = dir.filePath("big.png");
    if (QProcess::execute(QApplication::applicationFilePath(), {"--make-picture", picture}) != 0) {
        std::fprintf(stderr, "could not make the test picture\n");
        return 1;
    }

    std::printf("canvas_redraw_us=%.0f\n", CanvasRedrawMedianUs());

    nemora::MonoImage screen(128, 32);
    CLogEditPanel panel;
    panel.SetScreenImage(screen);
    panel.show();
    QApplication::processEvents();
    const auto start = Clock::now();
    if (!panel.OnImportFile(picture))
        return 1;
    panel.Editor()->Surface()->repaint();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (panel.Editor()->GridWidth() != 4096)
        return 1;
    std::printf("import_4096_ms=%.0f\n", ms);
    std::printf("import_4096_peak_mb=%.0f\n", static_cast<double>(PeakResidentKb()) / 1024.0);
    return 0;
}

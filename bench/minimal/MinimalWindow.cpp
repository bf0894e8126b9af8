// SPDX-License-Identifier: GPL-3.0-or-later
// The peer of the program's start-up and memory figures: the least a Qt Widgets program does to
// show one window, built with the program's own compiler and flags.
//
// With "--count SECONDS" it is also the peer of the CPU spent while a message plays: three
// seconds after it shows, the window counts SECONDS as the program's status does (a caption with
// the elapsed seconds and their tenths, and a bar with the percentage, looked at every 50 ms and
// changed only when what they show changes), then writes the CPU the count cost ("cpu-ms N",
// all its threads) and ends.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace {

double cpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) {
        return t.tv_sec * 1e3 + t.tv_usec / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void count(QWidget &window, int seconds)
{
    auto *layout = new QVBoxLayout(&window);
    auto *caption = new QLabel(QStringLiteral("Idle"));
    caption->setAlignment(Qt::AlignCenter);
    auto *bar = new QProgressBar;
    bar->setTextVisible(false);
    layout->addWidget(caption);
    layout->addWidget(bar);

    auto *tick = new QTimer(&window);
    tick->setInterval(50);
    struct Counted
    {
        QElapsedTimer elapsed;
        double startedCpuMs = 0;
    };
    const auto counted = std::make_shared<Counted>();
    QObject::connect(tick, &QTimer::timeout, &window, [=] {
        const qint64 ms = counted->elapsed.elapsed();
        caption->setText(QString::number(ms / 1000.0, 'f', 1)); // unchanged text: no repaint
        bar->setValue(int(ms / (seconds * 10)));
        if (ms >= seconds * 1000) {
            tick->stop();
            std::printf("cpu-ms %.1f\n", cpuMs() - counted->startedCpuMs);
            std::fflush(stdout);
            QApplication::quit();
        }
    });
    QTimer::singleShot(3000, &window, [=] {
        counted->startedCpuMs = cpuMs();
        counted->elapsed.start();
        tick->start();
    });
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    const QStringList arguments = QApplication::arguments();
    const qsizetype at = arguments.indexOf(QStringLiteral("--count"));
    if (at > 0)
        count(window, qMax(1, arguments.value(at + 1).toInt())); // the window as small as it is
    else
        window.resize(400, 300);
    window.show();
    return application.exec();
}

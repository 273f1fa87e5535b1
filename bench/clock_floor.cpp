// The floor for what an idle board may cost: a window of the board's size
// that does nothing but redraw a clock of the board's face and size once a
// second. bench/idle runs it beside the board and divides by its cost.
//
//     clock_floor        (the window's title is "Clock floor")

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QTime>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QFont::insertSubstitution(QString::fromUtf8("ＭＳ Ｐ明朝"), "IPAPMincho");
    QLabel clock;
    clock.setWindowTitle("Clock floor");
    clock.resize(1013, 710);  // the board's designed window
    clock.setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    clock.setFont(QFont(QString::fromUtf8("ＭＳ Ｐ明朝"), 100));
    clock.setStyleSheet("background: black; color: white;");
    const auto tick = [&clock] { clock.setText(QTime::currentTime().toString("H:mm:ss")); };
    tick();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, tick);
    timer.start(1000);
    clock.show();
    return application.exec();
}

// Takes the README's pictures: the real window connected to a virtual board
// that is already listening on 127.0.0.1:4001, one picture per tab.
//
//   quorvel-screenshots OUTPUT_FOLDER
#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(QWidget* window, const QString& path)
{
    settle(300);
    const bool ok = window->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: quorvel-screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());

    MainWindow window;
    window.resize(1100, 820);
    window.show();
    settle(200);

    QWidget* bar = window.findChild<QWidget*>(QStringLiteral("ConnectionWidget"));
    auto* modes = bar ? bar->findChild<QComboBox*>() : nullptr;
    if (!modes) {
        std::fprintf(stderr, "no connection bar\n");
        return 1;
    }
    modes->setCurrentText(QStringLiteral("RS485 TCP"));
    settle(100);
    const auto edits = bar->findChildren<QLineEdit*>();
    for (QLineEdit* edit : edits) {
        if (!edit->isVisible())
            continue;
        if (edit->text().contains(QLatin1Char('.')))
            edit->setText(QStringLiteral("127.0.0.1"));
    }
    for (QPushButton* button : bar->findChildren<QPushButton*>()) {
        if (button->isVisible() && button->text() == QLatin1String("Connect")) {
            button->click();
            break;
        }
    }
    settle(500);

    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    tabs->setCurrentIndex(0);
    bool ok = save(&window, out.filePath(QStringLiteral("tab-main.png")));
    tabs->setCurrentIndex(1);
    ok = save(&window, out.filePath(QStringLiteral("tab-dido.png"))) && ok;

    // The additional tab opens with the technician's password.
    QTimer::singleShot(300, [] {
        if (auto* input = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            input->setTextValue(QStringLiteral("marzipo"));
            input->accept();
        }
    });
    if (auto* unlock = window.findChild<QAction*>(QStringLiteral("actionUnlockAdditional")))
        unlock->trigger();
    ok = save(&window, out.filePath(QStringLiteral("tab-additional.png"))) && ok;
    return ok ? 0 : 1;
}

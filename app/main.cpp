#include "app/mStartup.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    mStartup::Main();
    return 0;
}

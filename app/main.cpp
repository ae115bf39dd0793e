#include "connectionsettings.h"
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    int exitCode = 0;
    {
        MainWindow window;
        window.startReceiver();
        window.show();
        exitCode = application.exec();
    }
    // Release the default connection while the SQL driver is still loaded.
    connectionSettings.defaultDb = QSqlDatabase();
    return exitCode;
}

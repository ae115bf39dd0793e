#pragma once

#include <QObject>

// What the console last learnt of its links: the Internet, the database, the
// broker. Owned by the application; the window's labels, the dialogs and the
// retries follow its signals. It refuses nothing: a statement is always tried.
class Connectivity : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    bool internet() const { return internetUp; }
    bool database() const { return databaseUp; }
    bool broker() const { return brokerUp; }

    void setInternet(bool up);
    void setDatabase(bool up);
    void setBroker(bool up);

signals:
    void internetChanged(bool up);
    void databaseChanged(bool up);
    void brokerChanged(bool up);

private:
    bool internetUp = false;   // not known to answer until checked
    bool databaseUp = true;
    bool brokerUp = false;
};

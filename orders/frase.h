#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class frase;
}

// Asks for the reason of a cancellation; the button insists on a non-empty one.
class frase : public QDialog
{
    Q_OBJECT

public:
    explicit frase(QWidget *parent = nullptr);
    ~frase() override;

    QString getMotivo() const { return m_motivo; }

private slots:
    void on_pushButton_clicked();

private:
    Ui::frase *ui;
    QString m_motivo{QLatin1String("")};
};

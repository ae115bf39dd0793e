#pragma once

#include <QString>

// Yes/no question with the buttons "Sim" and "Não"; true only for "Sim".
bool Confirmar(QString title, QString text);

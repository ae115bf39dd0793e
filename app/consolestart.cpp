#include "consolestart.h"

#include "consolelog.h"

#include <QCommandLineParser>
#include <QLockFile>

#include <cstdio>
#include <cstdlib>

const QString secondConsoleText = QStringLiteral("O console já está aberto neste computador.");

void readCommandLine(const QStringList &arguments, bool strict)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Console de recepção de pedidos da pizzaria no Trovanta.\n"
        "\n"
        "Lê, no diretório em que é iniciado:\n"
        "  config.conf                as configurações (o diálogo de configuração abre quando falta)\n"
        "  sound/fone.mp3             o som do alarme\n"
        "  images/selo_trovanta.png   o selo da janela\n"
        "  images/tv_pq.png           o ícone da bandeja\n"
        "Grava ali:\n"
        "  logs/<aaaa-mm-dd>.log      o log do dia, com data e hora; os de mais de 14 dias são apagados\n"
        "  trovanta-console.lock      a trava que impede um segundo console no mesmo diretório\n"
        "\n"
        "Instalado pelo pacote, o comando trovanta-console inicia o console em\n"
        "~/.local/share/trovanta-console, preparado com o som e as imagens na primeira vez."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Mostra esta ajuda e termina."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Mostra a versão e termina."));
    parser.addOption(help);
    parser.addOption(version);

    // Before Qt has taken its own options (-platform, -style...) they would read as unknown.
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(version))
        parser.showVersion();
    if (parser.isSet(help))
        parser.showHelp(0);
    if (!strict)
        return;
    QString error = parsed ? QString() : parser.errorText();
    if (error.isEmpty() && !parser.positionalArguments().isEmpty())
        error = QStringLiteral("Argumento inesperado: %1").arg(parser.positionalArguments().constFirst());
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\nAs opções: trovanta-console --help\n", qPrintable(error));
        std::exit(1);
    }
}

bool lockWorkingDirectory(QLockFile *lock)
{
    // The console holds the lock all day: only a lock whose process is gone is
    // stale, whatever its age.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        return true;
    if (lock->error() == QLockFile::LockFailedError)
        return false;
    // A working directory that cannot hold the lock must not keep the counter without its console.
    qCWarning(lcConsole) << "sem trava do diretório de trabalho (erro" << lock->error() << "); o console abre assim mesmo";
    return true;
}

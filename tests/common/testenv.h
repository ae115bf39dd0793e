#pragma once

#include <QString>

// Where the private servers started by scripts/test can be reached.
// Every value comes from the environment that scripts/test exports.
namespace TestEnv {

QString value(const char *name);          // empty when unset
bool haveServers();                       // true when scripts/test exported the servers

QString dbHost();
int dbPort();
QString dbName();
QString dbUser();
QString dbPassword();

int amqpPort();
QString amqpUser();
QString amqpPassword();
QString amqpVirtualHost();

// Runs "bash $TRV_SERVERS <verb> ..." (for example "broker-stop", "broker-start");
// returns whether it exited with status 0.
bool serverControl(const QStringList &arguments, int timeoutMs = 120000);

} // namespace TestEnv

// Fails the current test function when the servers are not there.
#define TRV_REQUIRE_SERVERS() \
    do { \
        if (!TestEnv::haveServers()) \
            QFAIL("private servers not running: run the tests through scripts/test"); \
    } while (0)

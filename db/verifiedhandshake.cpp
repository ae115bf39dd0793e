#include "verifiedhandshake.h"

#include <mysql.h>

#include <dlfcn.h>

// Qt's MySQL driver makes the client library's handle itself and accepts no
// option that has the library check the server's name or refuse a server
// that offers no TLS; checked after the connection opened, the login would
// already have gone to whoever answered. So the program defines the
// library's connect function itself (every executable that links db exports
// it, see CMakeLists.txt, so the driver's plugin binds to it): on a handle
// given an authority it turns the library's own verification on, and the
// handshake then fails, before any login byte, on a chain that does not
// verify, a certificate that does not name the host, or a server without
// TLS. The library's function does the rest.
extern "C" MYSQL *STDCALL mysql_real_connect(MYSQL *mysql, const char *host, const char *user, const char *passwd,
                                             const char *db, unsigned int port, const char *unix_socket,
                                             unsigned long clientflag)
{
    using Connect = MYSQL *(*)(MYSQL *, const char *, const char *, const char *, const char *, unsigned int,
                               const char *, unsigned long);
    static const auto library = reinterpret_cast<Connect>(dlsym(RTLD_NEXT, "mysql_real_connect"));
    if (!library || !mysql)
        return nullptr;
    const char *authority = nullptr;
    if (mysql_get_optionv(mysql, MYSQL_OPT_SSL_CA, &authority) == 0 && authority && *authority) {
        my_bool verify = 1;
        // Never connect unverified because the option was not taken.
        if (mysql_optionsv(mysql, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &verify) != 0)
            return nullptr;
    }
    return library(mysql, host, user, passwd, db, port, unix_socket, clientflag);
}

bool handshakeVerifiesServer()
{
    // The lookup the driver's plugin makes for the name finds the program's
    // definition only when it is exported.
    static const bool reached = dlsym(RTLD_DEFAULT, "mysql_real_connect") == reinterpret_cast<void *>(&mysql_real_connect);
    return reached;
}

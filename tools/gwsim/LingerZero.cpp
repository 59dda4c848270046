#include "LingerZero.h"

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

void lingerZero(qintptr descriptor)
{
    if (descriptor == -1)
        return;
    const linger l{1, 0};
#ifdef Q_OS_WIN
    ::setsockopt(SOCKET(descriptor), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
#else
    ::setsockopt(int(descriptor), SOL_SOCKET, SO_LINGER, &l, sizeof l);
#endif
}

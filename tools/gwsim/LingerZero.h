#pragma once

#include <QtGlobal>

// Sets SO_LINGER to zero on a socket descriptor, so that closing it sends RST instead of FIN.
void lingerZero(qintptr descriptor);

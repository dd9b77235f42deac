// SPDX-License-Identifier: MIT
// Slim reader/writer locks over POSIX mutexes (exclusive use only).
#include "platform_internal.h"

void AcquireSRWLockExclusive(PSRWLOCK SRWLock)
{
    pthread_mutex_lock(&SRWLock->mutex);
}

void ReleaseSRWLockExclusive(PSRWLOCK SRWLock)
{
    pthread_mutex_unlock(&SRWLock->mutex);
}

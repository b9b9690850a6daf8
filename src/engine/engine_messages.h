// The engine's failure sentences (the kMsg... texts it reports through
// IVersionUpdateCallback::OnError). They live in the installer's one table of user texts.
#pragma once

#include "common/user_texts.h"

// Forced into every translation unit of the Windows builds (-include): the wide-string members
// the program uses are compiled here, instead of the whole precompiled instantiation of the
// library's string types being linked for the first one used (about 60 KB of the exe). The
// library's own switch for this is the value -1, which leaves every other extern template alone.
#pragma once

#include <bits/c++config.h>

#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1

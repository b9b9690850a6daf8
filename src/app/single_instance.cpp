#include "app/single_instance.h"

namespace QV
{

QVSingleInstance::QVSingleInstance(const wchar_t* name) noexcept
{
    ::SetLastError(ERROR_SUCCESS);
    m_hMutex.Reset(::CreateMutexW(nullptr, FALSE, name));
    const DWORD error = ::GetLastError();
    m_bFirst = !(m_hMutex ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED);
}

} // namespace QV

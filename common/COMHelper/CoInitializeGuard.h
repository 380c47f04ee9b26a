#pragma once

namespace COMHelper
{
namespace Detail
{

// Apartment policy of the guard: the multithreaded apartment, left with CoUninitialize.
struct MultiThreaded
{
    // Enters the calling thread into the multithreaded apartment. S_FALSE (already there)
    // counts as success and is balanced like S_OK. Throws ExceptionHelper::Com when COM refuses,
    // for instance RPC_E_CHANGED_MODE on a thread already in a single-threaded apartment.
    static void Init();
};

} // namespace Detail

// Keeps the calling thread in COM's multithreaded apartment for the life of one scope. A guard
// whose constructor threw was never made, so nothing is left to balance.
class CoInitializeGuard
{
public:
    CoInitializeGuard();
    ~CoInitializeGuard();
    CoInitializeGuard(const CoInitializeGuard&) = delete;
    CoInitializeGuard& operator=(const CoInitializeGuard&) = delete;
};

} // namespace COMHelper

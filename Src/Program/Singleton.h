#pragma once

#include <cstdlib>
#include <stdexcept>

namespace BriskenCommandLineScanner
{

// Process-wide object created on first use and destroyed at exit. Touching it after its
// destruction throws "Dead Reference Detected" (once: the mark is cleared by the throw).
template <typename T>
class Singleton
{
public:
    static T& Instance()
    {
        if (!instance)
        {
            if (destroyed)
            {
                destroyed = false;
                throw std::logic_error("Dead Reference Detected");
            }
            instance = new T;
            std::atexit(&Destroy);
        }
        return *instance;
    }

private:
    static void Destroy()
    {
        delete instance;
        instance = nullptr;
        destroyed = true;
    }

    static inline T* instance = nullptr;
    static inline bool destroyed = false;
};

} // namespace BriskenCommandLineScanner

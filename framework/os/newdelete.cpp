// The program's allocation functions, on the C heap. They replace the C++
// runtime's, whose failure path throws and so links the runtime's exception
// machinery into a program built without exceptions. A failed allocation ends
// the program, as the uncaught std::bad_alloc did.

#include <cstdlib>
#include <new>

namespace
{
    void* Allocate(std::size_t size)
    {
        for (;;)
        {
            if (void* p = std::malloc(size ? size : 1))
                return p;
            std::new_handler handler = std::get_new_handler();
            if (!handler)
                std::abort();
            handler();
        }
    }
}

void* operator new(std::size_t size)
{
    return Allocate(size);
}

void* operator new[](std::size_t size)
{
    return Allocate(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

#pragma once

// Holds an object that is constructed in place and never destroyed, for program-wide objects that
// threads joined with time-outs may still use while the program exits.

#include <new>
#include <utility>

template <class T>
class NoDestructor {
 public:
  template <class... Args>
  explicit NoDestructor(Args&&... p_Args) {
    new (m_Storage) T(std::forward<Args>(p_Args)...);
  }
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;
  ~NoDestructor() = default;

  T& operator*() noexcept { return *get(); }
  T* operator->() noexcept { return get(); }
  T* get() noexcept { return std::launder(reinterpret_cast<T*>(m_Storage)); }

 private:
  alignas(T) unsigned char m_Storage[sizeof(T)];
};

// An object of the library that lives until the process ends: built in static storage on first
// use and never destroyed, so that nothing of it runs (or is reported as leaked) after the library
// has been unloaded or while other static objects are being torn down.
#pragma once

#include <new>

namespace corvane {

template <typename T>
T& NeverDestroyed() {
  alignas(T) static unsigned char storage[sizeof(T)];
  static T* const object = new (storage) T;
  return *object;
}

}  // namespace corvane

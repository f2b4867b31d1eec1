#pragma once
// A run-time error as the reset dialog and the failure exit show it: a number, the place it
// came from, and a description. COM failures carry their HRESULT as the number.
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

namespace ostrel {

class AppError : public std::runtime_error {
  public:
    AppError(int32_t number, std::string source, std::string description)
        : std::runtime_error(description),
          number_(number),
          source_(std::move(source)),
          description_(std::move(description)) {}

    int32_t Number() const { return number_; }
    const std::string& Source() const { return source_; }
    const std::string& Description() const { return description_; }

  private:
    int32_t number_;
    std::string source_;
    std::string description_;
};

// The error numbers the program raises itself.
namespace errnum {
constexpr int32_t kInvalidArgument = 5;
constexpr int32_t kOverflow = 6;
constexpr int32_t kOutOfMemory = 7;
constexpr int32_t kTypeMismatch = 13;
constexpr int32_t kPermissionDenied = 70;
constexpr int32_t kFileAccess = 75;
constexpr int32_t kPathNotFound = 76;
constexpr int32_t kObjectNotSet = 91;
constexpr int32_t kInternal = 51;
}  // namespace errnum

// Any C++ failure as the run-time error the dialogs show.
inline AppError ToAppError(const std::exception& e) {
    if (const auto* app = dynamic_cast<const AppError*>(&e)) return *app;
    if (dynamic_cast<const std::bad_alloc*>(&e)) {
        return AppError(errnum::kOutOfMemory, "Ostrel", "Out of memory");
    }
    return AppError(errnum::kInternal, "Ostrel", std::string("Internal error: ") + e.what());
}

}  // namespace ostrel

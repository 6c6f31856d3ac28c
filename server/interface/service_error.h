#pragma once
// ServiceError: a failure inside a method body that carries one of the service's fixed
// message texts. Deliberately not a std::exception: the method frame tells the two apart.
class ServiceError {
  public:
    explicit constexpr ServiceError(const char* message) noexcept : message_(message) {}
    constexpr const char* Message() const noexcept { return message_; }

  private:
    const char* message_;
};

// Two in-memory FILE streams standing in for standard output and standard error.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace orvane {

class Capture {
  public:
    Capture() : out_(open_memstream(&outBuffer_, &outSize_)), err_(open_memstream(&errBuffer_, &errSize_)) {}
    ~Capture() {
        std::fclose(out_);
        std::fclose(err_);
        std::free(outBuffer_);
        std::free(errBuffer_);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::FILE* out() { return out_; }
    std::FILE* err() { return err_; }
    std::string outText() {
        std::fflush(out_);
        return std::string(outBuffer_, outSize_);
    }
    std::string errText() {
        std::fflush(err_);
        return std::string(errBuffer_, errSize_);
    }

  private:
    char* outBuffer_ = nullptr;
    std::size_t outSize_ = 0;
    char* errBuffer_ = nullptr;
    std::size_t errSize_ = 0;
    std::FILE* out_;
    std::FILE* err_;
};

} // namespace orvane

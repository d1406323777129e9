#pragma once

#include <exception>
#include <system_error>
#include <thread>

// Runs beside() on a second thread while this thread runs here(), and returns when
// both have ended; without a thread to be had, runs here() and then beside(). An
// exception of either reaches the caller once both have ended (here()'s first).
template <class Here, class Beside>
void runBeside(Here&& here, Beside&& beside) {
    std::exception_ptr besideError;
    std::thread thread;
    try {
        thread = std::thread([&] {
            try {
                beside();
            } catch (...) {
                besideError = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        here();
        beside();
        return;
    }
    try {
        here();
    } catch (...) {
        thread.join();
        throw;
    }
    thread.join();
    if (besideError) {
        std::rethrow_exception(besideError);
    }
}

#include "tk_final_exception.hpp"

#include "tk_trace.hpp"

tk_final_exception::tk_final_exception() { tk_trace(2, "tk_final_exception::ctor"); }

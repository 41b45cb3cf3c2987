// Every thread that calls into the library joins the multithreaded apartment once and stays in it
// until the thread ends, instead of entering and leaving COM around each call.
#pragma once

namespace tavori::dev {

void JoinApartment();

}  // namespace tavori::dev

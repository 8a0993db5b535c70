#pragma once

// A chain's office: a corvane-ship for each of shops shops, all into one PostgreSQL, first
// straight to the server and then through pgbouncer, each way storing for storingS seconds.
void benchFleet(int shops, int storingS);

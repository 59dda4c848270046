#pragma once

#include <initializer_list>

// Every wait of an exchange with a gateway, in milliseconds. The defaults are what gateways are
// built for; tests pass scaled-down copies instead of sleeping in real time.
struct ExchangeTimings
{
    int connectMs = 1000;       // a gateway accepts within this (absent addresses fail after it)
    int readFirstMs = 500;      // the answer to a read request begins within this,
    int readRestMs = 4500;      // and is whole at the latest this much later
    int writeAnswerMs = 800;    // the answer to a write request begins within this,
    int writeRestMs = 1000;     // and is whole within this much more
    int ackFirstMs = 1000;      // the acknowledgement follows the setup telegram within this,
    int ackRestMs = 2000;       // or at the latest this much later
    int transferLimitMs = 4000; // a transfer whose telegram has not gone out by then has failed
    int pauseMs = 300;          // between two addresses when a scan tries one at a time
    int verifyRetryMs = 1000;   // between two read-backs while a gateway restarts
    int verifyWindowMs = 10000; // a read-back after an acknowledged transfer ends within this; 0: none

    int readWindowMs() const { return readFirstMs + readRestMs; }
    int ackWindowMs() const { return ackFirstMs + ackRestMs; }

    // Every wait divided by divisor (at least 1 ms each; a read-back that is off stays off), for tests.
    ExchangeTimings scaledDown(int divisor) const
    {
        ExchangeTimings t = *this;
        for (int* w : {&t.connectMs, &t.readFirstMs, &t.readRestMs, &t.writeAnswerMs, &t.writeRestMs, &t.ackFirstMs,
                       &t.ackRestMs, &t.transferLimitMs, &t.pauseMs, &t.verifyRetryMs, &t.verifyWindowMs})
            if (*w > 0)
                *w = *w / divisor > 0 ? *w / divisor : 1;
        return t;
    }
};

// What the benchmark's parts share: the figures they hand back, the stretch of the show they
// time, and the small statistics the table prints.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

using Figures = std::map<std::string, double>;

constexpr double kBusyFrom = 104.9;   // laser scene on: background, knot mode 4, thirty bolts, cards
constexpr double kBusyTo = 115.669;   // knot scene off
constexpr double kCaptureTo = 124.9;  // twenty seconds from kBusyFrom

inline double ms(std::int64_t ns) { return double(ns) / 1e6; }
// The nearest-rank percentile: the smallest value that p of the values do not exceed; -1 for none.
double percentile(std::vector<double> v, double p);
inline double median(const std::vector<double>& v) { return percentile(v, 0.5); }

// Inside a child process of the benchmark, with a hidden context of its own (in_process.cpp).
void measureDemoFrames(Figures& out);
void measureReferenceScene(Figures& out);
void measureUpdate(Figures& out);
std::string rendererName();

// The program itself, launched as a viewer would (launched.cpp).
void measureStart(const std::string& program, int runs, Figures& out);
void measureMemory(const std::string& program, Figures& out);
void measureCapture(const std::string& program, Figures& out);

// The browser build in headless Chromium (web.cpp); nothing when it or Chromium is missing.
void measureWeb(int runs, Figures& out);

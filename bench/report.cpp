// What velmora-bench prints and writes: the table, the ratios and the CSV file.
#include "report.h"

#include <stdio.h>

namespace
{

std::string sizeLabel(const Scenario& s)
{
    return s.size ? std::to_string(s.size) + "x" + std::to_string(s.size) : "demo";
}

// Rates below 100 keep a decimal, so that the slowest cases still differ.
std::string rateText(double rate)
{
    char text[32];
    snprintf(text, sizeof text, rate < 100 ? "%.1f" : "%.0f", rate);
    return text;
}

std::string percent(double fraction)
{
    char text[16];
    snprintf(text, sizeof text, "%5.1f%%", fraction * 100);
    return text;
}

}

void printTable(const std::vector<std::unique_ptr<Scenario>>& all)
{
    printf("\n%-26s %7s %7s %6s %9s %10s %9s %9s %7s %7s %7s %7s %10s %10s %8s %11s\n",
           "scenario", "sprites", "size", "passes", "min p/s", "median p/s", "max p/s", "us/pass",
           "restore", "save", "draw", "present", "cpu p/s", "memcpy p/s", "shown/s",
           "cpu us/shown");
    std::string lastGroup;
    for (const auto& s : all)
    {
        if (s->rates.empty())
            continue;
        if (!lastGroup.empty() && s->group != lastGroup)
            printf("\n");
        lastGroup = s->group;
        Phases sh = medianShares(*s);
        double med = median(s->rates);
        std::string mem = s->memcpyRates.empty() ? "-" : rateText(median(s->memcpyRates));
        std::string shown = s->shownRates.empty() ? "-" : rateText(median(s->shownRates));
        double cpuPerShown = median(s->cpuPerShown);
        std::string cpuShown = cpuPerShown > 0 ? rateText(cpuPerShown * 1e6) : "-";
        printf("%-26s %7d %7s %6d %9s %10s %9s %9.1f %7s %7s %7s %7s %10s %10s %8s %11s\n",
               s->name.c_str(), s->sprites, sizeLabel(*s).c_str(), s->passes,
               rateText(minOf(s->rates)).c_str(), rateText(med).c_str(),
               rateText(maxOf(s->rates)).c_str(), 1e6 / med, percent(sh.restore).c_str(),
               percent(sh.save).c_str(), percent(sh.draw).c_str(), percent(sh.present).c_str(),
               rateText(median(s->cpuRates)).c_str(), mem.c_str(), shown.c_str(),
               cpuShown.c_str());
    }
}

void writeScenarioCsv(Csv& csv, const Scenario& s)
{
    for (size_t i = 0; i < s.rates.size(); ++i)
    {
        std::string r = std::to_string(i + 1);
        csv.row(s, r, "rate", s.rates[i], "passes/s");
        csv.row(s, r, "cpu_rate", s.cpuRates[i], "passes/s");
        csv.row(s, r, "restore_share", s.shares[i].restore * 100, "%");
        csv.row(s, r, "save_share", s.shares[i].save * 100, "%");
        csv.row(s, r, "draw_share", s.shares[i].draw * 100, "%");
        csv.row(s, r, "present_share", s.shares[i].present * 100, "%");
        if (i < s.memcpyRates.size())
            csv.row(s, r, "memcpy_rate", s.memcpyRates[i], "passes/s");
        if (i < s.framesShown.size())
        {
            csv.row(s, r, "frames_shown", s.framesShown[i], "frames");
            csv.row(s, r, "shown_rate", s.shownRates[i], "frames/s");
            csv.row(s, r, "cpu_per_shown", s.cpuPerShown[i] * 1e6, "us");
        }
    }
    if (s.rates.empty())
        return;
    double med = median(s.rates);
    Phases sh = medianShares(s);
    csv.row(s, "all", "min", minOf(s.rates), "passes/s");
    csv.row(s, "all", "median", med, "passes/s");
    csv.row(s, "all", "max", maxOf(s.rates), "passes/s");
    csv.row(s, "all", "us_per_pass", 1e6 / med, "us");
    csv.row(s, "all", "cpu_median", median(s.cpuRates), "passes/s");
    csv.row(s, "all", "restore_share", sh.restore * 100, "%");
    csv.row(s, "all", "save_share", sh.save * 100, "%");
    csv.row(s, "all", "draw_share", sh.draw * 100, "%");
    csv.row(s, "all", "present_share", sh.present * 100, "%");
    size_t bytes = 0;
    for (size_t b : s.blitBytes)
        bytes += b;
    csv.row(s, "all", "bytes_per_pass", (double)bytes, "bytes");
    if (!s.memcpyRates.empty())
        csv.row(s, "all", "memcpy_median", median(s.memcpyRates), "passes/s");
    if (!s.shownRates.empty())
    {
        csv.row(s, "all", "shown_median", median(s.shownRates), "frames/s");
        csv.row(s, "all", "cpu_per_shown_median", median(s.cpuPerShown) * 1e6, "us");
    }
}

std::string cpuModel()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown CPU";
}

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

double pairedRatio(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        ratios.push_back(a[i] / b[i]);
    return median(ratios);
}

void reportRatio(Csv& csv, const std::string& name, const Scenario& a, const Scenario& b,
                 const char* target)
{
    double wall = pairedRatio(a.rates, b.rates);
    double cpu = pairedRatio(a.cpuRates, b.cpuRates);
    printf("  %-36s %7.3f %7.3f   %s\n", name.c_str(), wall, cpu, target);
    csv.row("ratio:" + name, "all", "wall_ratio", wall, "x");
    csv.row("ratio:" + name, "all", "cpu_ratio", cpu, "x");
}

void reportShownRatio(Csv& csv, const std::string& name, const Scenario& a, const Scenario& b)
{
    if (a.shownRates.empty() || b.shownRates.empty())
        return;
    double shown = pairedRatio(a.shownRates, b.shownRates);
    double cpuA = median(a.cpuPerShown), cpuB = median(b.cpuPerShown);
    printf("  %-36s %7.3f %7s   CPU per frame shown %s us against %s us\n", name.c_str(), shown,
           "", cpuA > 0 ? rateText(cpuA * 1e6).c_str() : "-",
           cpuB > 0 ? rateText(cpuB * 1e6).c_str() : "-");
    csv.row("ratio:" + name, "all", "shown_ratio", shown, "x");
}

Scenario* find(const std::vector<std::unique_ptr<Scenario>>& all, const std::string& name)
{
    for (const auto& s : all)
        if (s->name == name && !s->rates.empty())
            return s.get();
    return nullptr;
}

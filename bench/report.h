// What velmora-bench prints and writes: the table, the ratios and the CSV file.
#ifndef VELMORA_BENCH_REPORT_H
#define VELMORA_BENCH_REPORT_H

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "scenario.h"

// The CSV file: one row per figure, with the scenario's description in front.

class Csv
{
public:
    bool open(const std::string& path)
    {
        mOut.open(path);
        if (!mOut)
            return false;
        mOut << "scenario,strategy,sprites,size,target,passes,repeat,figure,value,unit\n";
        return true;
    }

    void row(const Scenario& s, const std::string& repeat, const std::string& figure,
             double value, const std::string& unit)
    {
        if (!mOut.is_open())
            return;
        mOut << s.name << ',' << s.strategy << ',' << s.sprites << ',' << s.size << ','
             << s.targetW << 'x' << s.targetH << ',' << s.passes << ',' << repeat << ','
             << figure << ',' << value << ',' << unit << '\n';
    }

    void row(const std::string& scenario, const std::string& repeat, const std::string& figure,
             double value, const std::string& unit)
    {
        if (!mOut.is_open())
            return;
        mOut << scenario << ",,,,,," << repeat << ',' << figure << ',' << value << ',' << unit
             << '\n';
    }

    // Closes the file; false when any write or the close failed.
    bool close()
    {
        if (!mOut.is_open())
            return true;
        mOut.close();
        return !mOut.fail();
    }

private:
    std::ofstream mOut;
};

void printTable(const std::vector<std::unique_ptr<Scenario>>& all);
void writeScenarioCsv(Csv& csv, const Scenario& s);
std::string cpuModel();
std::string loadAverage();
// The median over repeats of a[i] / b[i]: each pair comes from the same repeat,
// where the two ran one after the other under much the same load.
double pairedRatio(const std::vector<double>& a, const std::vector<double>& b);
// Prints the ratio of two scenarios' rates, by wall clock and by CPU time, and records it.
void reportRatio(Csv& csv, const std::string& name, const Scenario& a, const Scenario& b,
                 const char* target);
// The same for frames shown per second, with each one's CPU time per frame shown;
// nothing when either has no frames counted.
void reportShownRatio(Csv& csv, const std::string& name, const Scenario& a, const Scenario& b);
// The scenario of that name that has figures, or null.
Scenario* find(const std::vector<std::unique_ptr<Scenario>>& all, const std::string& name);

#endif

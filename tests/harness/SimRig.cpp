#include "SimRig.h"

#include "Spawn.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

SimRig::SimRig(const std::string& program, const std::vector<std::string>& options, const std::string& trace)
{
    char name[] = "/tmp/cvd-sim.XXXXXX";
    if (!mkdtemp(name))
        throw std::runtime_error("cannot make a folder for cvd-sim");
    folder = name;
    linkPath = folder + "/port";
    tracePath = trace.empty() ? folder + "/trace" : trace;
    std::vector<std::string> args{program, "--link", linkPath, "--trace", tracePath};
    args.insert(args.end(), options.begin(), options.end());
    child = spawn(args);
    for (int i = 0; i < 200 && !linked(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

SimRig::~SimRig()
{
    stop();
    unlink(linkPath.c_str());
    if (tracePath == folder + "/trace")
        unlink(tracePath.c_str());
    rmdir(folder.c_str());
}

bool SimRig::linked() const
{
    return access(linkPath.c_str(), F_OK) == 0;
}

int SimRig::stop()
{
    int status = 0;
    if (child > 0) {
        kill(child, SIGTERM);
        waitpid(child, &status, 0);
        child = -1;
    }
    return status;
}

std::string SimRig::traceText() const
{
    std::ifstream in(tracePath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<wire::Record> SimRig::records() const
{
    std::vector<wire::Record> records;
    std::ifstream in(tracePath);
    for (std::string line; std::getline(in, line);)
        if (auto record = wire::parse(line))
            records.push_back(*record);
    return records;
}

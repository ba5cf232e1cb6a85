// vm-rtc-jump: moves the RTC to a few seconds before its armed wake alarm, and the system
// clock by as much. Runs inside the guest as a hook of systemd-sleep, after the alarm was armed
// and before the kernel suspends: the minutes the guest would sleep pass in seconds, and it
// wakes with both clocks where they would have been.
//   vm-rtc-jump [seconds before the alarm, default 5]

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/rtc.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char* argv[])
{
    const long lead = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 5;
    std::FILE* f = std::fopen("/sys/class/rtc/rtc0/wakealarm", "r");
    long long alarm = 0;
    if (!f || std::fscanf(f, "%lld", &alarm) != 1 || alarm <= 0) {
        std::printf("vm-rtc-jump: no alarm armed, the RTC is left alone\n");
        return 0;
    }
    std::fclose(f);
    const int fd = ::open("/dev/rtc0", O_RDONLY);
    rtc_time now{};
    if (fd < 0 || ::ioctl(fd, RTC_RD_TIME, &now) != 0) {
        std::fprintf(stderr, "vm-rtc-jump: cannot read /dev/rtc0: %s\n", std::strerror(errno));
        return 1;
    }
    std::tm t{};
    t.tm_sec = now.tm_sec;
    t.tm_min = now.tm_min;
    t.tm_hour = now.tm_hour;
    t.tm_mday = now.tm_mday;
    t.tm_mon = now.tm_mon;
    t.tm_year = now.tm_year;
    const long long rtc = static_cast<long long>(::timegm(&t));
    const std::time_t target = static_cast<std::time_t>(alarm - lead);
    if (target <= rtc) {
        std::printf("vm-rtc-jump: the alarm is %lld s away, the RTC is left alone\n", alarm - rtc);
        return 0;
    }
    std::tm g{};
    ::gmtime_r(&target, &g);
    rtc_time set{};
    set.tm_sec = g.tm_sec;
    set.tm_min = g.tm_min;
    set.tm_hour = g.tm_hour;
    set.tm_mday = g.tm_mday;
    set.tm_mon = g.tm_mon;
    set.tm_year = g.tm_year;
    if (::ioctl(fd, RTC_SET_TIME, &set) != 0) {
        std::fprintf(stderr, "vm-rtc-jump: cannot set /dev/rtc0: %s\n", std::strerror(errno));
        return 1;
    }
    const long long jump = static_cast<long long>(target) - rtc;
    timespec wall{};
    ::clock_gettime(CLOCK_REALTIME, &wall);
    wall.tv_sec += static_cast<std::time_t>(jump);
    if (::clock_settime(CLOCK_REALTIME, &wall) != 0) {
        std::fprintf(stderr, "vm-rtc-jump: cannot set the clock: %s\n", std::strerror(errno));
        return 1;
    }
    std::printf("vm-rtc-jump: RTC and clock moved %lld s ahead, %ld s before the alarm at %lld\n",
                jump, lead, alarm);
    return 0;
}

#!/bin/busybox sh
# shellcheck shell=dash
# The first process of the small system that the real-kernel tests boot. It loads the input
# modules and those the kernel command line names (test_modules=a,b), makes the virtual
# touch panel and runs vellumet on the frame buffer with that panel as its touch screen and
# the first virtual console as its standard input, as the systemd unit does. The panel takes
# its commands from the serial console, where the program's exit status is told at the end;
# then the machine powers off. test_args=--opt,value adds options to the program's own.
/bin/busybox mount -t proc proc /proc
/bin/busybox --install -s /bin
export PATH=/bin
mount -t devtmpfs dev /dev
exec </dev/console >/dev/console 2>&1
mount -t sysfs sys /sys
mount -t tmpfs tmp /tmp

for module in uinput evdev $(echo "${test_modules:-}" | tr , ' '); do
  while read -r file; do insmod "/lib/modules/$file" 2>/dev/null; done <"/lib/modules/$module.load"
done
for _ in $(seq 100); do [ -e /dev/fb0 ] && break; sleep 0.1; done
vellumet-touch-panel --link /dev/input/touchscreen </dev/console &
for _ in $(seq 100); do [ -e /dev/input/touchscreen ] && break; sleep 0.1; done

# shellcheck disable=SC2046 # the options are meant to be split
SDL_AUDIODRIVER=dummy vellumet --root /root --fb /dev/fb0 --touch /dev/input/touchscreen --log /tmp/debug.log \
  $(echo "${test_args:-}" | tr , ' ') </dev/tty1
status=$?
[ $status -eq 0 ] || tail -n 20 /tmp/debug.log
echo "vellumet-status: $status"
poweroff -f

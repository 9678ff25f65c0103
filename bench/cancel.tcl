# Measures how soon a long command stops once its script is canceled from another thread:
# zolv::read_csv of 10,000,000 rows (100 MB, with and without -dates) and zolv::series
# rci c 5000 over 200,000 bars (one thread and two), each canceled by thread::cancel at
# several moments of its run. Prints, per call, "MOMENT:STOP" pairs in milliseconds: when the
# cancellation came after the call started, and how long the call took to return after it.
#
# Usage: tclsh cancel.tcl ?DIRECTORY?
#   The package is found through TCLLIBPATH; the Thread package must be installed. The
#   files are written to DIRECTORY (default: the system's temporary directory) and removed.

package require Tcl 8.6
package require Thread
package require zolv

set directory [file normalize [expr {$argc > 0 ? [lindex $argv 0] : "/tmp"}]]

proc write {name row rows} {
    set path [file join $::directory $name]
    set f [open $path wb]
    puts -nonewline $f "date,open,high,low,close,volume\n"
    set block [string repeat $row 100000]
    for {set k 0} {$k < $rows} {incr k 100000} {puts -nonewline $f $block}
    close $f
    return $path
}
set big [write zolv-cancel-big.csv "d,1,2,3,4,5\n" 10000000]
set walk [write zolv-cancel-walk.csv "d,1,2,3,4,5\nd,2,3,1,2,7\nd,5,6,4,6,1\nd,3,3,2,2,2\n" 200000]

set worker [thread::create]
thread::send $worker [list set ::auto_path $::auto_path]
thread::send $worker {package require zolv}

# Runs `call` in the worker (the object is $p) once per moment, canceling it that many
# milliseconds after it starts.
proc measure {label call moments {fill {}}} {
    set stops {}
    foreach moment $moments {
        set p [corvalix::new_ZOLV]
        if {$fill ne ""} {zolv::read_csv $p $fill}
        tsv::set cancel started 0
        # A cancellation that comes once the call has finished stops the script after it.
        thread::send -async $::worker [list apply {{p big call} {
            set code 0
            catch {
                set code [catch {
                    tsv::set cancel started [clock microseconds]
                    eval $call
                }]
                set stopped [clock microseconds]
            }
            list $code $stopped
        }} $p $::big $call] ::answer
        while {[tsv::get cancel started] == 0} {after 1}
        after $moment
        set canceled [clock microseconds]
        thread::cancel $::worker
        vwait ::answer
        lassign $::answer code stopped
        set at [expr {($canceled - [tsv::get cancel started]) / 1000}]
        lappend stops $at:[expr {$code ? ($stopped - $canceled) / 1000.0 : "finished"}]
        corvalix::delete_ZOLV $p
    }
    puts "$label: $stops"
}

puts "load average: [exec cat /proc/loadavg]"
measure "read_csv, 10,000,000 rows" {zolv::read_csv $p $big} {10 50 100 150 200 250 300 350}
measure "read_csv -dates, 10,000,000 rows" {zolv::read_csv $p $big -dates d} \
    {10 100 300 500 700 900 1200 1500}
zolv::threads 1
measure "series rci c 5000, one thread" {zolv::series $p rci c 5000} {10 50 100 200} $walk
zolv::threads 2
measure "series rci c 5000, two threads" {zolv::series $p rci c 5000} {10 50 100 200} $walk
file delete $big $walk

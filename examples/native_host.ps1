# SPDX-License-Identifier: MIT
# A native Windows host that drives a shell through brimel, as IDE tools in .NET, Java or Node do:
# pipes for the relay's standard streams, no POSIX signal to send, and TerminateProcess to end it.
#   pwsh examples/native_host.ps1 -Relay build/default/brimel.exe [-Cygwin C:\cygwin | C:\msys64\usr]
# -Cygwin names the folder whose bin holds the runtime's sh: Cygwin's root, or MSYS2's usr.
# It ties the relay's life to its own (VELDRIN_PROCESS_ID) and asks for an interrupt that works,
# interrupts a sleep by writing the key 0x03, then kills the relay: the session hangs up, so the
# shell's HUP trap writes a file and its background sleep ends, within 2 s. It prints what the
# shell showed and exits non-zero when anything differs from what it expects.
param([Parameter(Mandatory)] [string] $Relay, [string] $Cygwin = 'C:\cygwin')
$ErrorActionPreference = 'Stop'
$work = New-Item -ItemType Directory -Path (Join-Path ([IO.Path]::GetTempPath()) "brimel-host-$PID")
# The shell's script, from a file in its working folder: no quoting on Windows' command line.
$script = @'
trap 'echo hup >hup; exit 1' HUP
trap 'echo interrupted' INT
read -r line
sh -c 'echo sleeping; exec sleep 30'
echo "sleep ended $?"
sleep 1000 &
# Announced once it runs sleep: a hang-up that reaches the forked shell before its exec is lost.
for i in $(seq 200); do
    case $(tr '\0' ' ' </proc/$!/cmdline) in *sleep\ *) break ;; esac; sleep 0.05
done
echo "job $!"
read -r line
'@
[IO.File]::WriteAllText((Join-Path $work 'host.sh'), $script.Replace("`r`n", "`n"))
$start = [Diagnostics.ProcessStartInfo]::new((Resolve-Path $Relay).Path, '-n /bin/sh host.sh')
$start.WorkingDirectory = $work
$start.RedirectStandardInput = $true
$start.RedirectStandardOutput = $true
$start.StandardInputEncoding = [Text.UTF8Encoding]::new($false) # no byte order mark
$start.Environment['PATH'] = "$Cygwin\bin;" + $start.Environment['PATH']
$start.Environment['VELDRIN_PROCESS_ID'] = "$PID"
$start.Environment['BRIMEL_INTERRUPT'] = '1'
$relay = [Diagnostics.Process]::Start($start)

function Send([string] $text) { $relay.StandardInput.Write($text); $relay.StandardInput.Flush() }
# The shell's next line, within 20 s.
function Expect-Line([string] $pattern) {
    $line = $relay.StandardOutput.ReadLineAsync()
    if (-not $line.Wait(20000) -or $line.Result -notmatch $pattern) { throw "no $pattern" }
    Write-Host "shell: $($line.Result)"
    return $line.Result
}
# Looked at every 50 ms for at most 2 s.
function Within-Two-Seconds([scriptblock] $condition) {
    foreach ($i in 1..40) { if (& $condition) { return $true }; Start-Sleep -Milliseconds 50 }
    return $false
}
function Session-Process-Gone([string] $id) { & "$Cygwin\bin\sh.exe" -c "! test -d /proc/$id"; $? }

try {
    Send "go`n"
    Expect-Line '^sleeping$' | Out-Null
    Send ([string][char]3) # the terminal's interrupt key
    Expect-Line '^interrupted$' | Out-Null
    Expect-Line '^sleep ended 130$' | Out-Null
    $job = (Expect-Line '^job [0-9]+$').Split(' ')[1]
    $relay.Kill() # TerminateProcess: no code of the relay runs
    if (-not (Within-Two-Seconds { Test-Path (Join-Path $work 'hup') })) { throw 'no SIGHUP' }
    if (-not (Within-Two-Seconds { Session-Process-Gone $job })) { throw "sleep $job still runs" }
    Write-Host 'native host: passed'
} finally {
    # A clean-up that fails says so, and never takes the place of the error that ended the run.
    try {
        if (-not $relay.HasExited) { $relay.Kill() }
        if ($job -and -not (Session-Process-Gone $job)) { & "$Cygwin\bin\kill.exe" -9 $job }
        Remove-Item -Recurse -Force $work
    } catch { Write-Warning "clean-up: $_" }
}

#!/usr/bin/env bash
# Plants each fault below, one at a time, in a scratch copy of the tree, rebuilds the
# headless core, runs ctest -L core and names the faults no test noticed. A tool, not part
# of scripts/test. Arguments: the numbers of the faults to plant (default: all).
# A fault: file @@ original @@ replacement; ¶ is a line break, ";" a removed step. An
# original that is not in its file exactly once is an error, never counted as noticed.
set -uo pipefail; shopt -u patsub_replacement 2>/dev/null
root=$(cd "$(dirname "$0")/.." && pwd)
R=game/frmMain.cpp H=persist/HighScore.cpp S=sound/SoundCues.cpp M=platform/posix/MixingRandom.cpp
P=platform/posix/PosixFiles.cpp
faults=$(cat <<'EOF'
R @@ if (ufoCount > kUfosPerGame) @@ if (ufoCount >= kUfosPerGame)
R @@ ufoCol = DrawColumn(kFirstStartColumn, kLastColumn); @@ ufoCol = DrawColumn(kFirstStartColumn - 1, kLastColumn - 1);
R @@ Draw(2, 1) == 1 ? -1 : 1; @@ Draw(2, 1) == 1 ? 1 : -1;
R @@ ufoCol = DrawColumn(kFirstStartColumn, kLastColumn);¶    ufoDir = Draw(2, 1) == 1 ? -1 : 1; @@ ufoDir = Draw(2, 1) == 1 ? -1 : 1;¶    ufoCol = DrawColumn(kFirstStartColumn, kLastColumn);
R @@ Draw(kBombOdds, 1) == kBombFace @@ Draw(kBombOdds, 1) == 1
R @@ dropCol = DrawColumn(0, kLastColumn - 1); @@ dropCol = DrawColumn(0, kLastColumn);
R @@ if (ufoCol >= kLastColumn) @@ if (ufoCol > kLastColumn)
R @@ ufoDropped = 0;¶    ufoCount @@ ufoCount
R @@ if (playing == True && ufoCol == dropCol) @@ if (ufoCol == dropCol)
R @@         prevCol = dropCol; @@ ;
R @@ if (board(pieceCol, next) == kEmpty && next != kGuardRow) @@ if (board(pieceCol, next) == kEmpty)
R @@ if (board(dropCol, 0) != kEmpty) { @@ if (board(dropCol, 1) != kEmpty) {
R @@         columnCleared = False; @@ ;
R @@     if (cargo != kBomb)¶        board(pieceCol, pieceRow) = cargo;¶    EndBlock @@     EndBlock
R @@ if (!s_.GameTimer.enabled() || pieceRow == -1) @@ if (!s_.GameTimer.enabled())
R @@ KeyCode == vbKeyRight && pieceCol < kLastColumn @@ KeyCode == vbKeyRight && pieceCol < kColumns
R @@ if (board(pieceCol, pieceRow) == cargo)¶        board(pieceCol, pieceRow) = kEmpty; @@ ;
R @@ if (step == 0 || board(pieceCol + step, pieceRow) != kEmpty) @@ if (step == 0)
R @@ board(pieceCol, pieceRow) = cargo;¶    DrawPieceMove(); @@ DrawPieceMove();
R @@ columnCleared == True || otherwise @@ otherwise
R @@ else if (otherwise == IfNothingCleared::GameOver)¶        GameOver(); @@ ;
R @@ if (sum % kClearingSum != 0) @@ if (sum != kClearingSum)
R @@ const int e = kBottomRow + 1 - pieceRow + gameMode; @@ const int e = kBottomRow - pieceRow + gameMode;
R @@ if (maxNumber == kUpToNine) @@ if (maxNumber == kUpToFive)
R @@ if (pieceRow == -1)¶        sum = fit<std::int16_t>(sum + cargo); @@ ;
R @@ columnCleared = True;¶    for (int row = 0; row <= kBottomRow; ++row) @@ columnCleared = True;¶    for (int row = 0; row < kBottomRow; ++row)
R @@ (kBottomRow - pieceRow) * 100 @@ (kGuardRow - pieceRow) * 100
R @@ 1LL * score - penalty @@ 1LL * score + penalty
R @@ for (int row = pieceRow; row <= kBottomRow; ++row) @@ for (int row = pieceRow + 1; row <= kBottomRow; ++row)
R @@ sound_.play(Cue::Explosion);¶    sound_.play(Cue::Game); @@ sound_.play(Cue::Game);¶    sound_.play(Cue::Explosion);
R @@ ufoCol = 4; @@ ufoCol = 3;
R @@ if (score < 0 || score < highScore) @@ if (score < 0 || score <= highScore)
R @@ if (score < 0 || score < highScore) @@ if (score < highScore)
R @@ if (!SaveHighScore())¶        s_.messageBox.show(text::kSaveFailed, platform::mb::Exclamation, text::kCaution); @@ SaveHighScore();
R @@ sound_.stop();¶    s_.messageBox.show(text::kGameOver @@ s_.messageBox.show(text::kGameOver
R @@ board(column, kBottomRow) = fit<std::int16_t>(Draw(maxNumber, 1)); @@ board(column, kBottomRow) = fit<std::int16_t>(Draw(kUpToNine, 1));
R @@ SetOptionsEnabled(false);¶        playing = True; @@ playing = True;
R @@ s_.GameTimer.setEnabled(false);¶    s_.UFO_Timer.setEnabled(false);¶    if (s_.messageBox @@ if (s_.messageBox
R @@ text::kQuitTitle) == platform::mb::No) @@ text::kQuitTitle) == platform::mb::Yes)
R @@ ShowUfosLeft();¶        sound_.play(Cue::Title);¶        ResetToIdle();¶    }¶} @@ sound_.play(Cue::Title);¶        ResetToIdle();¶    }¶}
R @@ 2 * kCell + 96, kWellTop); @@ kCell + 96, kWellTop);
R @@ prevRow = pieceRow;¶} @@ }
R @@ std::floor(k * r) @@ std::ceil(k * r)
H @@ line.substr(1, kKey.size()) != kKey @@ line.substr(0, kKey.size()) != kKey
H @@ line.substr(11, line.size() - 12) @@ line.substr(11, line.size() - 11)
H @@ find_first_of("\r\n", pos) @@ find_first_of("\n", pos)
H @@ if (negative)¶        value = -value; @@ ;
H @@ if (value > std::numeric_limits<std::int32_t>::max())¶        throw @@ if (value > std::numeric_limits<std::int32_t>::max() + 1LL)¶        throw
H @@ + "\"\r\n"; @@ + "\"\n";
H @@ files.write(handle, bytes) && files.sync(handle) @@ files.write(handle, bytes)
H @@ if (!ok)¶        files.remove(temp); @@ ;
S @@ {"game.wav", true}, @@ {"game.wav", false},
S @@ {"bom.wav", false}, @@ {"bom.wav", true},
S @@ {"open.wav", true},    // Title @@ {"game.wav", true},    // Title
S @@ screen_.present(); @@ ;
S @@ { device_.stop(); } @@ {}
M @@ word ^= splitmix(x); @@ word = splitmix(x);
M @@ if (!fixed_) @@ if (fixed_)
M @@ nextBits() >> 11) @@ nextBits() >> 10)
R @@ bestPending_ = true; @@ ;
H @@ content.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0 @@ 0
H @@ throw platform::LoadError("cannot read " + path + ": " + e.what()); @@ ;
P @@ toMake = last && errno == ENOENT && !viaLink; @@ toMake = last && errno == ENOENT;
P @@ if (waited >= kLockPatience) { @@ if (waited >= 3 * kLockPatience) {
P @@ if (owner == 0)¶            owner = st.st_uid; @@ owner = st.st_uid;
P @@ || st.st_uid != walk.owner || @@ ||
P @@ || walk.folderOwner != walk.owner) { @@ ) {
P @@ || old.st_uid != held->owner @@ || false
P @@ O_PATH | O_NOFOLLOW | O_CLOEXEC); @@ O_PATH | O_CLOEXEC);
EOF
)
scratch=$(mktemp -d /tmp/zenkora-mutants.XXXXXX); trap 'rm -rf "$scratch"' EXIT
src=$scratch/src build=$scratch/build; mkdir -p "$src"
git -C "$root" ls-files -co --exclude-standard -z | tar -C "$root" --null -T - -cf - | tar -C "$src" -xf -
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENKORA_BUILD_UI=OFF >/dev/null || exit 2
run() { cmake --build "$build" -j2 >"$scratch/build.log" 2>&1 || return 99
        ctest --test-dir "$build" -L core -j2 --timeout 120 --stop-on-failure >"$scratch/test.log" 2>&1; }
run || { echo "the untouched tree does not pass ctest -L core:"; tail -20 "$scratch"/*.log; exit 2; }
grep -q "tests passed" "$scratch/test.log" && ! grep -q "No tests were found" "$scratch/test.log" || { echo "no core tests"; exit 2; }

i=0 total=0 noticed=0 errors=0 survivors=()
while IFS= read -r line; do
    i=$((i + 1))
    [[ $# -gt 0 && " $* " != *" $i "* ]] && continue
    key=${line%% @@ *} rest=${line#* @@ }
    file=${!key} orig=${rest%% @@ *} repl=${rest#* @@ }
    orig=${orig//¶/$'\n'} repl=${repl//¶/$'\n'}
    total=$((total + 1)) label="#$i $file: $rest"
    text=$(cat "$root/$file"; printf x) text=${text%x}
    stripped=${text//"$orig"/}
    if (( ${#text} - ${#stripped} != ${#orig} )); then
        echo "ERROR  $label (original not found exactly once)"; errors=$((errors + 1)); continue
    fi
    printf '%s' "${text/"$orig"/"$repl"}" >"$src/$file"
    run; rc=$?
    cp "$root/$file" "$src/$file"  # a fresh time stamp: the next build recompiles it
    case $rc in
        0) echo "LIVES  $label"; survivors+=("$label") ;;
        99) echo "ERROR  $label (does not build)"; errors=$((errors + 1)) ;;
        *) echo "caught $label"; noticed=$((noticed + 1)) ;;
    esac
done <<<"$faults"
echo "noticed $noticed of $total"; (( errors )) && echo "$errors errors, not counted as noticed"
for s in "${survivors[@]}"; do echo "survivor: $s"; done
(( errors == 0 ))
